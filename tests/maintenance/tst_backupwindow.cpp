// The backup window "数据库备份" driven as the operator does, on a real book and real files.
#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "maintenance/repairdb.h"
#include "settings/settings.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QToolButton>

#include <sys/stat.h>

using testsupport::scripted;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
}

// What a book holds: a backup has the book's rows, though not necessarily its pages.
QString contentOf(const QString& path)
{
    return !QFileInfo::exists(path)
               ? QStringLiteral("<missing>")
               : testsupport::scalar(
                     path, QStringLiteral("select group_concat(b||c||\"1\") || (select "
                                          "group_concat(username||passwd) from userdb) from data"))
                     .toString();
}

void addRecord(const QString& book, const QString& summary)
{
    testsupport::insertRecord(book, QStringLiteral("收入"), QStringLiteral("2024-03-01"), summary,
                              QStringLiteral("张三"), 100, 60, 0, 0);
}

int gridRows()
{
    return MainForm->DBGridEh1->model()->rowCount();
}

// The main window and the data module as the program creates them.
struct Session
{
    Session()
    {
        MainForm = new TMainForm;
        dmfm = new Tdmfm;
        MainForm->bindData();
        MainForm->show();
        MainForm->Button12Click();
    }
    ~Session()
    {
        delete MainForm;
        MainForm = nullptr;
        delete dmfm;
        dmfm = nullptr;
    }
};

Tbeifen* openWindow()
{
    MainForm->ToolButton17->click();
    return MainForm->beifen;
}

// Closes the window; true when it is gone.
bool closeWindow(Tbeifen* window)
{
    QPointer<Tbeifen> watch(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return watch.isNull();
}

} // namespace

class TestBackupWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        ::umask(022);
        testsupport::clearSettings();
        scripted().clear();
    }

    void windowClosesConnectionAndReopensIt()
    {
        testsupport::BookFolder book;
        addRecord(book.bookPath(), QStringLiteral("房租"));
        addRecord(book.bookPath(), QStringLiteral("货款"));
        Session session;
        QCOMPARE(gridRows(), 2);

        Tbeifen* window = openWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("数据库备份"));
        QCOMPARE(window->size(), QSize(345, 137));
        QCOMPARE(window->Panel1->height() + window->Panel2->height() + window->Panel4->height(),
                 281);
        QVERIFY(window->scrollArea->verticalScrollBar()->maximum() > 0);
        QCOMPARE(window->Edit2->text(), QStringLiteral("beifen.mdb"));
        QVERIFY(!dmfm->connected());
        QVERIFY(!dmfm->ADOTable5->isOpen());
        QCOMPARE(gridRows(), 0);
        QCOMPARE(openWindow(), window); // one window at a time

        // The record commands report the closed book instead of failing silently or crashing.
        MainForm->Button12->click();
        QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
        QCOMPARE(scripted().lastText(), QStringLiteral("Connection is closed"));
        scripted().clear();
        MainForm->Edit24->setFocus();
        testsupport::typeText(MainForm->Edit24, QStringLiteral("房"));
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("Connection is closed")});
        MainForm->Edit24->clear();
        scripted().clear();
        MainForm->Button2->click(); // 查 询
        MainForm->Button7->click(); // the balance reloads the listing
        QCOMPARE(scripted().texts(), QStringList(2, QStringLiteral("Connection is closed")));
        scripted().clear();

        QVERIFY(closeWindow(window));
        QVERIFY(!MainForm->beifen);
        QVERIFY(dmfm->connected());
        QVERIFY(dmfm->ADOTable5->isOpen());
        QCOMPARE(gridRows(), 2);
        QVERIFY(scripted().shown.isEmpty());
    }

    void backupTargetIsRememberedOnEveryChange()
    {
        testsupport::BookFolder book;
        Session session;
        // A value of another type ("save=a, b" reads as a list) is no target: the default
        // shows, without a box.
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                  QStringLiteral("qvbook"))
            .setValue(settings::kBackupTarget,
                      QStringList{QStringLiteral("a"), QStringLiteral("b")});
        Tbeifen* window = openWindow();
        QVERIFY(scripted().shown.isEmpty());
        QCOMPARE(window->Edit1->text(),
                 QDir::home().absoluteFilePath(QStringLiteral("qvbook.mdb")));
        QVERIFY(settings::readText(settings::kBackupTarget).isEmpty());

        window->Edit1->clear();
        window->Edit1->setFocus();
        const QString typed = QStringLiteral("/备份/x.mdb");
        for (int i = 0; i < typed.size(); ++i) {
            testsupport::typeText(window->Edit1, typed.mid(i, 1));
            QCOMPARE(settings::read(settings::kBackupTarget), typed.left(i + 1));
        }
        QVERIFY(closeWindow(window));

        window = openWindow();
        QCOMPARE(window->Edit1->text(), typed);
        QVERIFY(closeWindow(window));

        // A stored target shown mapped from a Windows path is not written back.
        settings::write(settings::kBackupTarget, QStringLiteral("D:\\x.mdb"));
        QVERIFY(closeWindow(openWindow()));
        QCOMPARE(settings::read(settings::kBackupTarget), QStringLiteral("D:\\x.mdb"));
    }

    void backupCopiesTheBook()
    {
        testsupport::BookFolder book;
        addRecord(book.bookPath(), QStringLiteral("房租"));
        Session session;
        Tbeifen* window = openWindow();

        // The first target is qvbook.mdb in the home folder, never beside the book.
        window->BitBtn1->click();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
        const QString home = QDir::home().absoluteFilePath(QStringLiteral("qvbook.mdb"));
        QCOMPARE(contentOf(home), contentOf(book.bookPath()));
        QCOMPARE(QFile::permissions(home) & 0x77, 0); // the owner's only, whatever the umask

        // An old Windows target maps into the home folder; the book itself is refused.
        QVERIFY(QDir::home().mkpath(QStringLiteral("备份")));
        window->Edit1->setText(QStringLiteral("E:\\备份\\old.mdb"));
        scripted().clear();
        window->BitBtn1->click();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
        QCOMPARE(contentOf(QDir::home().absoluteFilePath(QStringLiteral("备份/old.mdb"))),
                 contentOf(book.bookPath()));
        const QByteArray before = bytesOf(book.bookPath());
        for (const QString& self : {book.path(), book.bookPath(), QStringLiteral("data.mdb")}) {
            window->Edit1->setText(self);
            scripted().clear();
            window->BitBtn1->click();
            QCOMPARE(scripted().shown.size(), 1);
            QVERIFY(scripted().lastText().startsWith(QStringLiteral("不能把数据库备份到它自身")));
        }
        QCOMPARE(bytesOf(book.bookPath()), before);

        const QString backup = book.file(QStringLiteral("backup.mdb"));
        window->Edit1->setText(backup);
        scripted().clear();
        window->BitBtn1->click();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
        QCOMPARE(contentOf(backup), contentOf(book.bookPath()));
        const QByteArray first = bytesOf(backup);

        // The book changes; replacing the backup is asked first.
        addRecord(book.bookPath(), QStringLiteral("货款"));
        QVERIFY(bytesOf(book.bookPath()) != first);
        scripted().clear();
        scripted().answers = {false};
        window->BitBtn1->click();
        QCOMPARE(scripted().shown.size(), 1);
        QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
        QVERIFY(scripted().lastNoIsDefault);
        QCOMPARE(bytesOf(backup), first);

        scripted().clear();
        scripted().answers = {true};
        window->BitBtn1->click();
        QCOMPARE(scripted().shown.size(), 2);
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库备份成功！"));
        QCOMPARE(contentOf(backup), contentOf(book.bookPath()));

        // A folder receives the book under its own name.
        const QString folder = book.file(QStringLiteral("safe"));
        QVERIFY(QDir().mkpath(folder));
        window->Edit1->setText(folder);
        scripted().clear();
        window->BitBtn1->click();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
        QCOMPARE(contentOf(folder + QStringLiteral("/data.mdb")), contentOf(book.bookPath()));
        QVERIFY(closeWindow(window));
    }

    void failedBackupChangesNothing()
    {
        testsupport::BookFolder book;
        Session session;
        Tbeifen* window = openWindow();
        const QByteArray original = bytesOf(book.bookPath());
        const QString plain = book.file(QStringLiteral("plain.txt"));
        writeFile(plain, "not a folder");
        const QString folder = book.file(QStringLiteral("safe"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/data.mdb")));
        const QStringList before = QDir(book.path()).entryList(QDir::AllEntries | QDir::Hidden);

        window->Edit1->setText(plain + QStringLiteral("/backup.mdb"));
        window->BitBtn1->click();
        QCOMPARE(scripted().shown.size(), 2);
        QCOMPARE(scripted().shown.at(0).kind, QStringLiteral("critical"));
        // Explained in Chinese first, the system's words after it.
        QVERIFY(scripted().shown.at(0).text.startsWith(QStringLiteral("文件没有写成")));
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库备份失败！"));

        // A folder of the book's name inside the target folder cannot be replaced by a file.
        window->Edit1->setText(folder);
        scripted().clear();
        scripted().answers = {true};
        window->BitBtn1->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库备份失败！"));

        QCOMPARE(bytesOf(plain), QByteArray("not a folder"));
        QVERIFY(QFileInfo(folder + QStringLiteral("/data.mdb")).isDir());
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("data.mdb")});
        QCOMPARE(QDir(book.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
        QCOMPARE(bytesOf(book.bookPath()), original);
        QVERIFY(closeWindow(window));
    }

    void restoreRefusesWhatIsNoBook_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QStringLiteral("nothere.mdb")
                                 << QStringLiteral("备份数据库没找到!");
        QTest::newRow("text file")
            << QStringLiteral("notes.mdb") << QStringLiteral("备份文件不是有效的数据库！");
        QTest::newRow("other database")
            << QStringLiteral("other.mdb") << QStringLiteral("备份文件不是有效的数据库！");
        QTest::newRow("cut short")
            << QStringLiteral("half.mdb") << QStringLiteral("备份文件不是有效的数据库！");
        QTest::newRow("folder") << QStringLiteral("safe")
                                << QStringLiteral("备份文件不是有效的数据库！");
    }
    void restoreRefusesWhatIsNoBook()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        testsupport::BookFolder book;
        addRecord(book.bookPath(), QStringLiteral("房租"));
        writeFile(book.file(QStringLiteral("notes.mdb")), "SQLite format 3 is what I am not");
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            db.setDatabaseName(book.file(QStringLiteral("other.mdb")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("create table data (a text)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        const QByteArray whole = bytesOf(book.bookPath());
        writeFile(book.file(QStringLiteral("half.mdb")), whole.left(whole.size() / 2));
        QVERIFY(QDir().mkpath(book.file(QStringLiteral("safe"))));

        Session session;
        Tbeifen* window = openWindow();
        window->Edit2->setText(name);
        window->BitBtn5->click();
        QCOMPARE(scripted().texts(), QStringList{message});
        QCOMPARE(bytesOf(book.bookPath()), whole);
        QVERIFY(closeWindow(window));
        QCOMPARE(gridRows(), 1);
    }

    void restoreBringsBackTheBackup()
    {
        testsupport::BookFolder book;
        addRecord(book.bookPath(), QStringLiteral("房租"));
        addRecord(book.bookPath(), QStringLiteral("货款"));
        const QString backup = book.file(QStringLiteral("beifen.mdb"));
        QVERIFY(QFile::copy(book.bookPath(), backup));
        addRecord(book.bookPath(), QStringLiteral("工资"));
        Session session;
        QCOMPARE(gridRows(), 3);
        const QByteArray newest = bytesOf(book.bookPath());
        const QString newestRows = contentOf(book.bookPath());

        Tbeifen* window = openWindow();
        scripted().fileNames = {backup};
        window->Button1->click();
        QCOMPARE(window->Edit2->text(), backup);
        scripted().clear();
        window->Button1->click(); // a cancelled dialog keeps the name
        QCOMPARE(window->Edit2->text(), backup);

        scripted().clear();
        scripted().answers = {false};
        window->BitBtn5->click();
        QCOMPARE(scripted().shown.size(), 1);
        QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
        QCOMPARE(bytesOf(book.bookPath()), newest);

        scripted().clear();
        scripted().answers = {true};
        window->BitBtn5->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(contentOf(book.bookPath()), contentOf(backup));
        // The book as it was stays beside it under a dated name.
        const QStringList kept =
            QDir(book.path()).entryList({QStringLiteral("data.mdb.before-restore-*")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(contentOf(book.file(kept.first())), newestRows);
        QCOMPARE(QFile::permissions(book.file(kept.first())) & 0x77, 0);
        QVERIFY(closeWindow(window));
        QCOMPARE(gridRows(), 2);
    }

    void lostBookIsRestoredBeforeTheWindowCloses()
    {
        testsupport::BookFolder book;
        addRecord(book.bookPath(), QStringLiteral("房租"));
        Session session;
        Tbeifen* window = openWindow();
        window->Edit1->setText(QStringLiteral("beifen.mdb"));
        window->BitBtn1->click();
        QVERIFY(QFile::remove(book.bookPath()));

        // Without a book the window stays, so that a backup can still be restored.
        scripted().clear();
        QVERIFY(!closeWindow(window));
        QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
        QVERIFY(scripted().lastText().contains(book.bookPath()));
        QVERIFY(window->isVisible());

        // A directory in place of the book cannot be replaced: the failure is reported.
        QVERIFY(QDir().mkpath(book.bookPath()));
        scripted().clear();
        scripted().answers = {true};
        window->BitBtn5->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复失败！"));
        QVERIFY(QFileInfo(book.bookPath()).isDir());
        QVERIFY(QDir().rmdir(book.bookPath()));

        scripted().clear();
        window->BitBtn5->click(); // nothing to replace, so nothing is asked
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库恢复成功！")});
        QVERIFY(closeWindow(window));
        QCOMPARE(gridRows(), 1);
    }
};

QUENVALE_TEST_MAIN(TestBackupWindow)
#include "tst_backupwindow.moc"
