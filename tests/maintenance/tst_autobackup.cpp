// Automatic backups: one at each orderly exit after a login, the newest N kept, none at 0; a
// failed one reported, a killed one leaving no half file; listed and restored in 数据备份.
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/sql.h"
#include "maintenance/autobackup.h"
#include "maintenance/repairdb.h"
#include "settings/settings.h"
#include "support/testsupport.h"
#include "users/login.h"

#include <QTreeWidget>

#include <sys/stat.h>

using namespace testsupport;

namespace {

void addRecord(const QString& book)
{
    insertRecord(book, QStringLiteral("收入"), QStringLiteral("2024-03-01"), QStringLiteral("货款"),
                 QStringLiteral("甲"), 100, 60, 0, 0);
}

// Start, log in, add a record, close: one working session of the real program.
void workAndExit(const BookFolder& book)
{
    QVERIFY(startup::createWindows());
    loginfm->show();
    loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
    loginfm->Edit1->setText(QStringLiteral("574"));
    loginfm->bitbtn4->click();
    QVERIFY(MainForm->LoginLogId > 0);
    addRecord(book.bookPath());
    QVERIFY(MainForm->close());
    startup::destroyWindows();
}

QList<qint64> recordsKept(const QString& book)
{
    QList<qint64> records;
    for (const autobackup::Entry& entry : autobackup::list(book))
        records << entry.records;
    return records;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestAutoBackup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        clearSettings();
        scripted().clear();
    }

    void exitsKeepTheNewestAndZeroTurnsThemOff()
    {
        BookFolder book;
        settings::write(settings::kAutoBackups, QStringLiteral("3"));
        for (int i = 0; i < 5; ++i)
            workAndExit(book);
        QCOMPARE(scripted().texts(), QStringList());
        QCOMPARE(recordsKept(book.bookPath()), (QList<qint64>{5, 4, 3}));
        for (const autobackup::Entry& entry : autobackup::list(book.bookPath())) {
            QVERIFY(
                QFileInfo(entry.path)
                    .fileName()
                    .startsWith(entry.taken.toString(QStringLiteral("'data-'yyyyMMdd-HHmmss"))));
            struct stat mode
            {
            };
            QCOMPARE(::stat(QFile::encodeName(entry.path).constData(), &mode), 0);
            QCOMPARE(mode.st_mode & 0777, 0600u);
        }
        settings::write(settings::kAutoBackups, QStringLiteral("0"));
        workAndExit(book);
        QCOMPARE(recordsKept(book.bookPath()), (QList<qint64>{5, 4, 3}));
        // Leaving at the login takes none either.
        settings::write(settings::kAutoBackups, QStringLiteral("ten"));
        QVERIFY(startup::createWindows());
        loginfm->BitBtn1->click();
        startup::destroyWindows();
        QCOMPARE(recordsKept(book.bookPath()).size(), 3);
    }

    void failedBackupIsReportedAndLeavesNoFile()
    {
        BookFolder book;
        addRecord(book.bookPath());
        {
            // An index that disagrees with its table: the backup's check refuses the copy.
            sql::ScopedConnection conn(book.bookPath());
            sql::exec(conn.db(), QStringLiteral("PRAGMA writable_schema=ON"));
            sql::exec(conn.db(), QStringLiteral("update sqlite_master set sql='CREATE INDEX "
                                                "data_b ON data(c)' where name='data_b'"));
        }
        workAndExit(book);
        QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
        QVERIFY(scripted().lastText().startsWith(QStringLiteral("退出时的自动备份没有完成")));
        QCOMPARE(filesIn(book.file(QStringLiteral("backups"))), QStringList());
    }

    void killedBackupLeavesNoHalfFile()
    {
        BookFolder book;
        sql::exec(sql::ScopedConnection(book.bookPath()).db(),
                  QStringLiteral("with recursive n(x) as (select 1 union all select x+1 from n "
                                 "where x<20000) insert into data (a,b,\"1\",o) select '收入',"
                                 "hex(randomblob(80)),x,'1' from n"));
        QProcess driver;
        driver.start(QStringLiteral(QUENVALE_BOOKDRIVER),
                     {QStringLiteral("autobackup"), book.bookPath()});
        int pauses = 0;
        while (pauses < 3 && driver.waitForReadyRead(20000))
            while (driver.canReadLine())
                if (driver.readLine().startsWith("AT") && ++pauses < 3)
                    driver.write("go\n");
        QCOMPARE(pauses, 3);
        driver.kill(); // as kill -9, mid-copy
        driver.waitForFinished();
        const QString folder = book.file(QStringLiteral("backups"));
        QVERIFY(!filesIn(folder).isEmpty()); // the hidden temporary copy
        QVERIFY(autobackup::list(book.bookPath()).isEmpty());
        // The next backup clears it and stands alone.
        const QString made = autobackup::take(book.bookPath());
        QCOMPARE(filesIn(folder), QStringList{QFileInfo(made).fileName()});
        QCOMPARE(recordsKept(book.bookPath()), QList<qint64>{20000});
    }

    void backupWindowListsThemAndRestoresTheChosenOne()
    {
        MainWindowSession session;
        const QString book = session.book.bookPath();
        addRecord(book);
        autobackup::take(book);
        addRecord(book);
        autobackup::take(book);
        addRecord(book);
        MainForm->ToolButton17->click();
        Tbeifen* window = MainForm->beifen;
        QTreeWidget* list = window->autoBackupList;
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("2"));
        QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("1"));
        QCOMPARE(list->topLevelItem(1)->text(1),
                 QStringLiteral("%1 KB").arg(
                     (QFileInfo(autobackup::list(book).at(1).path).size() + 1023) / 1024));
        list->setCurrentItem(list->topLevelItem(1));
        scripted().answers = {true};
        window->restoreAutoBackup->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        window->close();
        QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 1);
    }
};

QUENVALE_TEST_MAIN(TestAutoBackup)
#include "tst_autobackup.moc"
