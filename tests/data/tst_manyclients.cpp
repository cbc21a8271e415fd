// Several PCs on one book at once, each a process adding, changing and deleting its own records
// through the program's write path for a few seconds: afterwards every acknowledged write is in
// the book once, as written, nothing unacknowledged is, and every PC's grid listing equals the
// book.
#include "clientruns.h"
#include "datasupport.h"

#include <QTest>

using namespace testsupport;

class TestManyClients : public QObject
{
    Q_OBJECT

private slots:
    void clientsWritingAtOnceAgree();
};

void TestManyClients::clientsWritingAtOnceAgree()
{
    BookFolder book;
    std::vector<clientruns::Run> runs;
    QVERIFY(clientruns::runClients(QStringLiteral(QUENVALE_CLIENTDRIVER),
                                   onServer() ? book.bookPath() : book.path(), 5, 3, runs));
    // A busy machine may starve one client of the book for a while, but they all get to write.
    size_t writes = 0;
    for (const clientruns::Run& run : runs)
        writes += run.micros.size();
    QVERIFY2(writes >= runs.size(), "the clients wrote too little");
    sql::ScopedConnection conn(book.bookPath());
    const QString problems = clientruns::problems(conn.db(), runs);
    QVERIFY2(problems.isEmpty(), qPrintable(problems));
    QVERIFY(!runs.front().book.startsWith(u"0 "));
}

QUENVALE_DATA_TEST_MAIN(TestManyClients)
#include "tst_manyclients.moc"
