// Start-up with a data.mdb still in the Access format: the question, the report and the first
// login on the converted book. The conversion itself is tested in tests/data/test_legacy.cpp.
#include "support/testsupport.h"

#include "app/mainform.h"
#include "app/startup.h"
#include "data/dm.h"
#include "users/login.h"

#include <QDir>
#include <QFile>

using namespace testsupport;

namespace {

const QString kQuestion =
    QStringLiteral("检测到 Access 格式的账本 "
                   "data.mdb。是否转换为本程序的数据库格式？原文件将保留为 data.mdb.access。");

QByteArray fixtureBytes()
{
    QFile file(QString::fromLocal8Bit(qgetenv("QUENVALE_TEST_DATA")) +
               QStringLiteral("/legacy-book.mdb"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture missing: %s", qPrintable(file.fileName()));
    return file.readAll();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void placeAccessBook(const BookFolder& folder, const QByteArray& bytes)
{
    QFile::remove(folder.bookPath());
    QFile file(folder.bookPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList folderEntries(const BookFolder& folder)
{
    return QDir(folder.path())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestLegacyStart : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }

    void cleanup()
    {
        startup::destroyWindows();
        scripted().clear();
    }

    void convertsOnConsentAndLogsIn()
    {
        BookFolder folder;
        const QByteArray original = fixtureBytes();
        placeAccessBook(folder, original);
        scripted().answers = {true};

        QVERIFY(startup::createWindows());
        MainForm->setLoginGate(nullptr); // this test drives the windows itself
        QVERIFY(MainForm);

        QCOMPARE(scripted().shown.size(), 2);
        QCOMPARE(scripted().shown.at(0).kind, QStringLiteral("yesNo"));
        QCOMPARE(scripted().shown.at(0).text, kQuestion);
        QVERIFY(scripted().lastNoIsDefault);
        QCOMPARE(scripted().shown.at(1).kind, QStringLiteral("information"));
        QCOMPARE(scripted().shown.at(1).text,
                 QStringLiteral("转换完成：导入记录 236 条，用户 3 个，登录日志 3 条。"));
        QCOMPARE(readAll(folder.file(QStringLiteral("data.mdb.access"))), original);

        // 张三 logs in through the login window with the password he had, in capitals; the
        // new login-log row goes on after the imported ones.
        loginfm->show();
        loginfm->ComboBox1->setEditText(QStringLiteral("张三"));
        loginfm->Edit1->setText(QStringLiteral("ABC123"));
        loginfm->bitbtn4->click();
        QCOMPARE(scripted().shown.size(), 2);
        QVERIFY(!loginfm->isVisible());
        QCOMPARE(MainForm->LoginLogId, 4);
        QCOMPARE(MainForm->statusText(1), QStringLiteral("张三"));
        QCOMPARE(dmfm->ADOQuery15->recordCount(), 236);
    }

    void answeringNoChangesNothing()
    {
        BookFolder folder;
        const QByteArray original = fixtureBytes();
        placeAccessBook(folder, original);
        scripted().answers = {false};

        QVERIFY(!startup::createWindows());
        QVERIFY(!MainForm);
        QCOMPARE(scripted().texts(), QStringList({kQuestion}));
        QCOMPARE(readAll(folder.bookPath()), original);
        QCOMPARE(folderEntries(folder), QStringList({QStringLiteral("data.mdb")}));
    }

    void damagedBookIsReportedAndNoWindowOpens()
    {
        BookFolder folder;
        const QByteArray cut = fixtureBytes().left(30 * 4096);
        placeAccessBook(folder, cut);
        scripted().answers = {true};

        QVERIFY(!startup::createWindows());
        QVERIFY(!MainForm);
        QCOMPARE(scripted().shown.size(), 2);
        QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
        QVERIFY2(scripted().lastText().startsWith(QStringLiteral("转换失败：")),
                 qPrintable(scripted().lastText()));
        QVERIFY2(scripted().lastText().contains(QStringLiteral("data.mdb 已损坏或不完整。")),
                 qPrintable(scripted().lastText()));
        QCOMPARE(readAll(folder.bookPath()), cut);
        QCOMPARE(folderEntries(folder), QStringList({QStringLiteral("data.mdb")}));
    }

    void bookOfOurOwnIsNotQuestioned()
    {
        BookFolder folder;
        QVERIFY(startup::createWindows());
        MainForm->setLoginGate(nullptr); // this test drives the windows itself
        QVERIFY(scripted().shown.isEmpty());
    }
};

QUENVALE_TEST_MAIN(TestLegacyStart)
#include "tst_legacystart.moc"
