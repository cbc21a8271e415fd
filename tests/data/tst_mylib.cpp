// The shared routines for statements.
#include "data/dm.h"
#include "data/errors.h"
#include "data/mylib.h"
#include "datasupport.h"

using namespace testsupport;

class MylibTest : public QObject
{
    Q_OBJECT

private slots:
    void execClosesAnOpenQuery();
    void failingStatementLeavesQueryClosed();
};

void MylibTest::execClosesAnOpenQuery()
{
    BookFolder book;
    Tdmfm dm;
    OpenQuery(dm.ADOQuery1, QStringLiteral("select username from userdb"));
    QCOMPARE(dm.ADOQuery1->recordCount(), 1);
    ExecQuery(dm.ADOQuery1, QStringLiteral("insert into userdb values (?, ?)"),
              {QStringLiteral("O'Neil"), QStringLiteral("h")});
    QVERIFY(!dm.ADOQuery1->isOpen());
    OpenQuery(dm.ADOQuery1, QStringLiteral("select username from userdb where username=?"),
              {QStringLiteral("o'neil")});
    QCOMPARE(dm.ADOQuery1->recordCount(), 1);
    QCOMPARE(dm.ADOQuery1->text(QStringLiteral("username")), QStringLiteral("O'Neil"));
}

void MylibTest::failingStatementLeavesQueryClosed()
{
    BookFolder book;
    Tdmfm dm;
    OpenQuery(dm.ADOQuery1, QStringLiteral("select username from userdb"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             OpenQuery(dm.ADOQuery1, QStringLiteral("select nosuch from userdb")));
    QVERIFY(!dm.ADOQuery1->isOpen());
}

QUENVALE_DATA_TEST_MAIN(MylibTest)
#include "tst_mylib.moc"
