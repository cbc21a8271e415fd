// What keeps a book safe, on both engines: keys never given twice, layouts upgraded after a
// backup or refused, code of other programs, and the automatic backups at exit.
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/entrypanel.h"
#include "data/foreigncode.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "settings/settings.h"
#include "testsupport.h"
#include "users/login.h"

using namespace testsupport;

namespace {

// The records in brief: how many, their keys and amounts.
QString contentOf(const QString& book)
{
    return scalar(book, QStringLiteral("select count(*)||'/'||sum(id)||'/'||cast(sum(\"1\") as "
                                       "integer) from data"))
        .toString();
}

int layoutOf(const QString& book)
{
    return scalar(book, server::isServerBook(book)
                            ? QStringLiteral("select value from bookinfo where name='layout'")
                            : QStringLiteral("PRAGMA user_version"))
        .toInt();
}

qint64 newestKey(const QString& book)
{
    return scalar(book, QStringLiteral("select max(id) from data")).toLongLong();
}

void addRecords(const QString& book, int count)
{
    for (int i = 0; i < count; ++i)
        insertRecord(book, QStringLiteral("收入"), QStringLiteral("2024-05-01"),
                     QStringLiteral("r%1").arg(i), QStringLiteral("甲"), 10 + i, 5, 0, 0);
}

// The first layout: keys of data reused, no bookinfo nor settlements, one index fewer, one of the
// operator's.
void makeLayoutOne(const QString& book)
{
    scalar(book, QStringLiteral("drop table settlements"));
    if (server::isServerBook(book))
        return void(scalar(book, QStringLiteral("drop table bookinfo")));
    for (const char* statement :
         {"ALTER TABLE data RENAME TO newer", "DROP INDEX data_b",
          "CREATE TABLE data ( id INTEGER PRIMARY KEY, a TEXT, day1 DATE, b TEXT, c TEXT, \"1\" "
          "REAL, \"2\" REAL, \"3\" REAL, \"4\" REAL, \"5\" REAL, \"6\" REAL, o TEXT)",
          "INSERT INTO data SELECT * FROM newer", "DROP TABLE newer", "DROP TABLE bookinfo",
          "CREATE INDEX data_day1 ON data(day1)", "CREATE INDEX data_c ON data(c)",
          "CREATE INDEX mine ON data(o, b)", "PRAGMA user_version = 1"})
        scalar(book, QString::fromLatin1(statement));
}

// A trigger that deletes every other record at the next add, and a view.
void plantCode(const QString& book)
{
    const bool pg = server::isServerBook(book);
    if (pg)
        scalar(book, QStringLiteral("create function wipe() returns trigger language plpgsql as "
                                    "'begin delete from data where id<>new.id; return null; end'"));
    scalar(book, pg ? QStringLiteral("create trigger wipe after insert on data for each row "
                                     "execute function wipe()")
                    : QStringLiteral("create trigger wipe after insert on data begin delete from "
                                     "data where id<>new.id; end"));
    scalar(book, QStringLiteral("create view peek as select * from userdb"));
}

bool start(const BookFolder& book)
{
    return startup::createWindows(onServer() ? book.bookPath() : QString());
}

void logIn()
{
    loginfm->show();
    loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
    loginfm->Edit1->setText(QStringLiteral("574"));
    loginfm->bitbtn4->click();
}

void restore(const QString& backup)
{
    MainForm->ToolButton17->click();
    MainForm->beifen->Edit2->setText(backup);
    scripted().answers = {true};
    MainForm->beifen->BitBtn5->click();
    MainForm->beifen->close();
}

} // namespace

class SafekeepingTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        clearSettings();
        scripted().clear();
    }
    void cleanup() { startup::destroyWindows(); }

    void keysAreNeverGivenTwice()
    {
        MainWindowSession session;
        const QString book = session.book.bookPath();
        addRecords(book, 3);
        session.reload();
        const qint64 deleted = newestKey(book);
        // Another copy deletes the newest record; this one adds through the entry panel.
        scalar(book, QStringLiteral("delete from data where id=?"), {deleted});
        MainForm->ToolButton7->click();
        typeText(MainForm->Panel3->Edit9, QStringLiteral("10"));
        MainForm->Panel3->ComboBox3->setEditText(QStringLiteral("added"));
        MainForm->Panel3->Button1->click();
        QVERIFY(newestKey(book) > deleted);
    }

    void olderLayoutIsUpgradedAfterABackupNewerIsRefused()
    {
        BookFolder book;
        addRecords(book.bookPath(), 6);
        scalar(book.bookPath(), QStringLiteral("delete from data where id in (2, 4)"));
        makeLayoutOne(book.bookPath());
        const QString before = contentOf(book.bookPath());
        QVERIFY(start(book));
        QCOMPARE(layoutOf(book.bookPath()), schema::kVersion);
        QCOMPARE(contentOf(book.bookPath()), before);
        const QList<autobackup::Entry> backups = autobackup::list(book.bookPath());
        QCOMPARE(backups.size(), 1);
        QCOMPARE(contentOf(backups.constFirst().path), before);
        if (!onServer()) {
            QCOMPARE(layoutOf(backups.constFirst().path), 1);
            // The layout of a new book, the operator's index kept.
            BookFolder fresh;
            const QString all = QStringLiteral("select group_concat(sql) from (select sql from "
                                               "sqlite_master where name<>'mine' order by name)");
            QCOMPARE(scalar(book.bookPath(), all), scalar(fresh.bookPath(), all));
            QVERIFY(scalar(book.bookPath(), QStringLiteral("select sql from sqlite_master where "
                                                           "name='mine'"))
                        .isValid());
        }
        startup::destroyWindows();
        const int newer = schema::kVersion + 1;
        scalar(book.bookPath(),
               onServer()
                   ? QStringLiteral("update bookinfo set value='%1' where name='layout'").arg(newer)
                   : QStringLiteral("PRAGMA user_version = %1").arg(newer));
        QVERIFY(!start(book));
        QVERIFY(scripted().lastText().contains(
            QStringLiteral("是更新版本的本程序写的账本（账本格式 %1").arg(newer)));
        QCOMPARE(contentOf(book.bookPath()), before);
        QCOMPARE(layoutOf(book.bookPath()), newer);
    }

    void foreignCodeIsRemovedOnlyWhenAgreedAndNeverRestored()
    {
        BookFolder book;
        addRecords(book.bookPath(), 3);
        const QString hostile = book.file(QStringLiteral("hostile.mdb"));
        bookcopy::snapshot(book.bookPath(), book.file(QStringLiteral("older.mdb")));
        makeLayoutOne(book.file(QStringLiteral("older.mdb")));
        QVERIFY(QFile::copy(book.file(QStringLiteral("older.mdb")), hostile));
        plantCode(hostile);
        plantCode(book.bookPath());
        const QString before = contentOf(book.bookPath());
        scripted().answers = {false};
        QVERIFY(!start(book));
        QVERIFY(scripted().lastNoIsDefault);
        QVERIFY(
            scripted().lastText().contains(QStringLiteral("触发器“wipe”（表 data）\n视图“peek”")));
        QVERIFY(autobackup::list(book.bookPath()).isEmpty());
        scripted().answers = {true};
        QVERIFY(start(book));
        const QString backup = autobackup::list(book.bookPath()).value(0).path;
        QVERIFY(scripted().lastText().contains(backup));
        QCOMPARE(contentOf(backup), before);
        addRecords(book.bookPath(), 1); // the trigger would delete the other three
        QVERIFY(contentOf(book.bookPath()).startsWith(u"4/"));
        // A restore refuses a backup with such code, and brings an older one up to date.
        restore(hostile);
        QVERIFY(scripted().lastText().contains(QStringLiteral("触发器“wipe”（表 data）")));
        QVERIFY(contentOf(book.bookPath()).startsWith(u"4/"));
        restore(book.file(QStringLiteral("older.mdb")));
        QCOMPARE(contentOf(book.bookPath()), before);
        QCOMPARE(layoutOf(book.bookPath()), schema::kVersion);
        addRecords(book.bookPath(), 1); // no key given before the restore is given again
        QCOMPARE(newestKey(book.bookPath()), 5);
    }

    void exitBackupsKeepTheNewestAndTheWindowRestoresOne()
    {
        BookFolder book;
        auto workAndExit = [&book](const QString& kept) {
            settings::write(settings::kAutoBackups, kept);
            QVERIFY(start(book));
            logIn();
            addRecords(book.bookPath(), 1);
            QVERIFY(MainForm->close());
            startup::destroyWindows();
        };
        for (int i = 0; i < 5; ++i)
            workAndExit(QStringLiteral("3"));
        workAndExit(QStringLiteral("0")); // none
        QVERIFY(start(book));
        loginfm->BitBtn1->click(); // leaving at the login takes none either
        QCOMPARE(scripted().texts(), QStringList());
        const QString newest = autobackup::list(book.bookPath()).value(0).path;
        QCOMPARE(int(QFileInfo(newest).permissions() & 0x0077), 0); // mode 0600
        // 数据备份 lists them (newest first) and restores the chosen one.
        MainForm->ToolButton17->click();
        QTreeWidget* list = MainForm->beifen->autoBackupList;
        QCOMPARE(list->topLevelItemCount(), 3);
        QCOMPARE(list->topLevelItem(0)->text(2) + list->topLevelItem(2)->text(2), u"53");
        list->setCurrentItem(list->topLevelItem(1));
        scripted().answers = {true};
        MainForm->beifen->restoreAutoBackup->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(newestKey(book.bookPath()), 4);
    }

    void failedOrKilledBackupLeavesNoFileAmongThem()
    {
        QUENVALE_LOCAL_BOOK_ONLY("about the book file");
        BookFolder book;
        scalar(book.bookPath(),
               QStringLiteral(
                   "with recursive n(x) as (select 1 union all select x+1 from n where "
                   "x<20000) insert into data (b,o) select hex(randomblob(80)),'1' from n"));
        QProcess driver; // kill -9 in the middle of the copy
        driver.start(QStringLiteral(QUENVALE_BOOKDRIVER),
                     {QStringLiteral("autobackup"), book.bookPath()});
        for (int pauses = 0; pauses < 3 && driver.waitForReadyRead(20000);)
            while (driver.canReadLine())
                if (driver.readLine().startsWith("AT") && ++pauses < 3)
                    driver.write("go\n");
        driver.kill();
        driver.waitForFinished();
        const QDir folder(book.file(QStringLiteral("backups")));
        QCOMPARE(folder.entryList(QDir::Files), QStringList()); // only hidden temporary files
        QVERIFY(!folder.entryList(QDir::Files | QDir::Hidden).isEmpty());
        // A damaged book: its backup fails its check, is reported, and leaves nothing.
        {
            sql::ScopedConnection conn(book.bookPath());
            sql::exec(conn.db(), QStringLiteral("PRAGMA writable_schema=ON"));
            sql::exec(conn.db(), QStringLiteral("update sqlite_master set sql='CREATE INDEX "
                                                "data_b ON data(c)' where name='data_b'"));
        }
        QVERIFY(start(book));
        logIn();
        QVERIFY(MainForm->close());
        QVERIFY(scripted().lastText().startsWith(QStringLiteral("退出时的自动备份没有完成")));
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QUENVALE_TEST_MAIN(SafekeepingTest)
#include "tst_safekeeping.moc"
