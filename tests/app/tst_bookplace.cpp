// Where the program keeps its book: beside itself in a build folder, in the user's data folder
// once installed, with the first-start question answered as the operator would.
#include "app/bookplace.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "data/dm.h"
#include "data/legacy.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "gui/qttranslations.h"
#include "testsupport.h"

#include <sys/stat.h>

using namespace testsupport;

class BookPlaceTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { QDir::setCurrent(m_previous); }
    void buildFolderKeepsItsWorkingFolder();
    void firstStartCreatesOrCopiesInTheBook();
    void accessBookGoesThroughTheConversion();
    void qtDialogsSpeakChinese();

private:
    QString book() const { return bookplace::dataFolder() + QStringLiteral("/data.mdb"); }
    QStringList dataFiles() const
    {
        return QDir(bookplace::dataFolder()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir m_tree; // an installed tree: usr/bin beside usr/share/quenvale/data.mdb
    QString m_bin = m_tree.filePath(QStringLiteral("usr/bin"));
    QString m_previous;
};

void BookPlaceTest::init()
{
    ::umask(022);
    m_previous = QDir::currentPath();
    QDir(bookplace::dataFolder()).removeRecursively();
    scripted().clear();
    const QString share = m_tree.filePath(QStringLiteral("usr/share/quenvale"));
    if (QDir().mkpath(m_bin) && QDir().mkpath(share) && !QFile::exists(share + u"/data.mdb"))
        makeFreshBook(share + QStringLiteral("/data.mdb"));
}

void BookPlaceTest::buildFolderKeepsItsWorkingFolder()
{
    QTemporaryDir buildFolder;
    QVERIFY(bookplace::prepare(buildFolder.path()));
    QCOMPARE(QDir::currentPath(), m_previous);
    QVERIFY(scripted().shown.isEmpty());
    QVERIFY(!QFileInfo::exists(bookplace::dataFolder()));

    // A folder the program cannot write to is an installed one, whoever runs it.
    QFile plain(buildFolder.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QVERIFY(bookplace::isInstalled(plain.fileName() + QStringLiteral("/bin")));
    QVERIFY(bookplace::isInstalled(m_bin));
}

void BookPlaceTest::firstStartCreatesOrCopiesInTheBook()
{
    scripted().choices = {0};
    QVERIFY(bookplace::prepare(m_bin));
    QCOMPARE(scripted().shown.size(), 1);
    QVERIFY(scripted().shown[0].text.contains(bookplace::dataFolder()));
    QCOMPARE(QDir::currentPath(), bookplace::dataFolder());
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("data.mdb")});
    QCOMPARE(QFile::permissions(book()) & 0x77, 0); // whatever the umask lets others read
    QVERIFY(passwords::verify(scalar(book(),
                                     QStringLiteral("select passwd from userdb where "
                                                    "username = ?"),
                                     {QString::fromUtf16(schema::kAdministrator)})
                                  .toString(),
                              QStringLiteral("574")));
    // A second start asks nothing, and the data module finds the book from the working folder.
    scripted().clear();
    QVERIFY(bookplace::prepare(m_bin));
    QVERIFY(scripted().shown.isEmpty());
    QCOMPARE(Tdmfm().databasePath(), book());

    // Choosing instead: a foreign file is refused and the question comes back, as after a
    // cancelled dialog; leaving writes nothing; a book of ours is copied in.
    QVERIFY(QFile::remove(book()));
    QTemporaryDir source;
    QFile junk(source.filePath(QStringLiteral("notes.txt")));
    QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, 'x')) == 4096);
    junk.close();
    const QString mine = source.filePath(QStringLiteral("mine.mdb"));
    makeFreshBook(mine);
    insertRecord(mine, QStringLiteral("支出"), QStringLiteral("2026-02-01"), QStringLiteral("房租"),
                 QStringLiteral("乙"), 0, 0, 300, 200);
    QFile::setPermissions(mine, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    scripted().clear();
    scripted().choices = {1, 1, 2, 1};
    scripted().fileNames = {junk.fileName(), QString(), mine};
    QVERIFY(!bookplace::prepare(m_bin));
    QCOMPARE(scripted().texts().filter(QStringLiteral("所选文件不是本程序的账本")).size(), 1);
    QVERIFY(dataFiles().isEmpty());
    QVERIFY(bookplace::prepare(m_bin));
    QCOMPARE(scalar(book(), QStringLiteral("select \"6\" from data")).toDouble(), 100.0);
    QVERIFY(QFileInfo(book()).permissions() & QFile::WriteOwner);
    QCOMPARE(dataFiles(), QStringList{QStringLiteral("data.mdb")});
    QVERIFY(QFile::exists(mine));
}

void BookPlaceTest::accessBookGoesThroughTheConversion()
{
    scripted().choices = {1};
    scripted().fileNames = {QStringLiteral(QUENVALE_LEGACY_BOOK)};
    QVERIFY(bookplace::prepare(m_bin));
    QVERIFY(legacy::isAccessBook(book()));
    QFile::setPermissions(book(), QFile::Permissions(0x6644)); // as a copy by hand leaves it
    scripted().answers = {true};
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr);
    QCOMPARE(scripted().texts().filter(QStringLiteral("转换完成")).size(), 1);
    QCOMPARE(dmfm->databasePath(), book());
    startup::destroyWindows();
    QVERIFY(!legacy::isAccessBook(book()));
    QCOMPARE(QFile::permissions(book()) & 0x77, 0);
    QCOMPARE(QFile::permissions(book() + QStringLiteral(".access")) & 0x77, 0);
    QVERIFY(legacy::isAccessBook(QStringLiteral(QUENVALE_LEGACY_BOOK)));
}

void BookPlaceTest::qtDialogsSpeakChinese()
{
    // The file dialog of the first start and every standard button.
    QVERIFY(qttranslations::load());
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

QUENVALE_TEST_MAIN(BookPlaceTest)
#include "tst_bookplace.moc"
