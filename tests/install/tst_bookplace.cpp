// Where the program keeps its book: beside itself in a build folder, in the user's data folder
// once installed, with the first-start question answered as the operator would.
#include "app/bookplace.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "data/dm.h"
#include "data/legacy.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "testsupport.h"

using namespace testsupport;

class BookPlaceTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buildFolderKeepsItsWorkingFolder();
    void firstStartCreatesTheBookAndTheSecondFindsIt();
    void existingBookIsCheckedAndCopiedIn();
    void accessBookGoesThroughTheConversion();

private:
    // An installed tree: bin/ beside share/quenvale/data.mdb.
    QString installedBin();
    QString book() const
    {
        return QDir(bookplace::dataFolder()).filePath(QStringLiteral("data.mdb"));
    }

    QTemporaryDir m_tree;
    QString m_previous;
};

void BookPlaceTest::init()
{
    m_previous = QDir::currentPath();
    QDir(bookplace::dataFolder()).removeRecursively();
    scripted().clear();
}

void BookPlaceTest::cleanup()
{
    QDir::setCurrent(m_previous);
}

QString BookPlaceTest::installedBin()
{
    const QString bin = m_tree.filePath(QStringLiteral("usr/bin"));
    const QString share = m_tree.filePath(QStringLiteral("usr/share/quenvale"));
    if (!QFile::exists(share + QStringLiteral("/data.mdb"))) {
        QDir().mkpath(bin);
        QDir().mkpath(share);
        makeFreshBook(share + QStringLiteral("/data.mdb"));
    }
    return bin;
}

void BookPlaceTest::buildFolderKeepsItsWorkingFolder()
{
    QTemporaryDir buildFolder;
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    QVERIFY(!bookplace::isInstalled(buildFolder.path()));
    QVERIFY(bookplace::prepare(buildFolder.path()));
    QCOMPARE(QDir::currentPath(), QDir(elsewhere.path()).canonicalPath());
    QVERIFY(scripted().shown.isEmpty());
    QVERIFY(!QFileInfo::exists(bookplace::dataFolder()));

    // A folder the program cannot write to is an installed one, whoever runs it.
    QFile plain(buildFolder.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(bookplace::isInstalled(plain.fileName() + QStringLiteral("/bin")));
    QVERIFY(bookplace::isInstalled(installedBin()));
}

void BookPlaceTest::firstStartCreatesTheBookAndTheSecondFindsIt()
{
    const QString bin = installedBin();
    scripted().choices = {0};
    QVERIFY(bookplace::prepare(bin));
    QCOMPARE(scripted().shown.size(), 1);
    QCOMPARE(scripted().shown[0].kind, QStringLiteral("choice"));
    QVERIFY(scripted().shown[0].text.contains(bookplace::dataFolder()));
    QCOMPARE(QDir::currentPath(), bookplace::dataFolder());
    QCOMPARE(QDir(bookplace::dataFolder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("data.mdb")});
    const QString hash =
        scalar(book(), QStringLiteral("select passwd from userdb where username = ?"),
               {QString::fromUtf16(schema::kAdministrator)})
            .toString();
    QVERIFY(passwords::verify(hash, QStringLiteral("574")));

    // The data module finds it through the working folder; a second start asks nothing.
    insertRecord(book(), QStringLiteral("收入"), QStringLiteral("2026-01-05"),
                 QStringLiteral("货款"), QStringLiteral("甲"), 100, 100, 0, 0);
    QDir::setCurrent(m_previous);
    scripted().clear();
    QVERIFY(bookplace::prepare(bin));
    QVERIFY(scripted().shown.isEmpty());
    Tdmfm dm;
    QCOMPARE(dm.databasePath(), book());
    QCOMPARE(scalar(book(), QStringLiteral("select count(*) from data")).toInt(), 1);
}

void BookPlaceTest::existingBookIsCheckedAndCopiedIn()
{
    const QString bin = installedBin();
    QTemporaryDir source;
    const QString junk = source.filePath(QStringLiteral("notes.txt"));
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    // A foreign file is refused and the question comes back; a cancelled dialog too; leaving
    // writes nothing.
    scripted().choices = {1, 1, 2};
    scripted().fileNames = {junk, QString()};
    QVERIFY(!bookplace::prepare(bin));
    QCOMPARE(scripted().texts().filter(QStringLiteral("所选文件不是本程序的账本")).size(), 1);
    QCOMPARE(scripted().shown.constLast().kind, QStringLiteral("choice"));
    QVERIFY(QDir(bookplace::dataFolder()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    const QString mine = source.filePath(QStringLiteral("mine.mdb"));
    makeFreshBook(mine);
    insertRecord(mine, QStringLiteral("支出"), QStringLiteral("2026-02-01"), QStringLiteral("房租"),
                 QStringLiteral("乙"), 0, 0, 300, 200);
    QFile::setPermissions(mine, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    scripted().clear();
    scripted().choices = {1};
    scripted().fileNames = {mine};
    QVERIFY(bookplace::prepare(bin));
    QCOMPARE(scalar(book(), u"select \"6\" from data"_qs).toDouble(), 100.0);
    QVERIFY(QFileInfo(book()).permissions() & QFile::WriteOwner);
    QVERIFY(QFile::exists(mine));
    QCOMPARE(QDir(bookplace::dataFolder()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("data.mdb")});
}

void BookPlaceTest::accessBookGoesThroughTheConversion()
{
    scripted().choices = {1};
    scripted().fileNames = {QStringLiteral(QUENVALE_LEGACY_BOOK)};
    QVERIFY(bookplace::prepare(installedBin()));
    QVERIFY(legacy::isAccessBook(book()));

    scripted().answers = {true};
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr);
    QVERIFY2(scripted().texts().filter(QStringLiteral("转换完成")).size() == 1,
             qPrintable(scripted().texts().join(u'\n')));
    QCOMPARE(dmfm->databasePath(), book());
    startup::destroyWindows();
    QVERIFY(!legacy::isAccessBook(book()));
    QVERIFY(QFile::exists(book() + QStringLiteral(".access")));
    QVERIFY(QFile::exists(QStringLiteral(QUENVALE_LEGACY_BOOK)));
}

QUENVALE_TEST_MAIN(BookPlaceTest)
#include "tst_bookplace.moc"
