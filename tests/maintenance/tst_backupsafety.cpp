// Backup and restore on a live book: other running copies write meanwhile, backups may be
// damaged or come from the Access program, and a restore may be killed half-way.
#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/sql.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "support/testsupport.h"
#include "users/login.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QToolButton>

#include <sys/file.h>

using testsupport::scalar;
using testsupport::scripted;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString integrity(const QString& path)
{
    return scalar(path, QStringLiteral("PRAGMA integrity_check")).toString();
}

qint64 rows(const QString& path, const QString& where = QStringLiteral("1"))
{
    return scalar(path, QStringLiteral("select count(*) from data where ") + where).toLongLong();
}

// Adds count records whose summaries start with tag, padded so that the book grows.
void fill(const QString& path, const QString& tag, int count, int padding)
{
    sql::ScopedConnection conn(path);
    sql::exec(
        conn.db(),
        QStringLiteral("with recursive n(x) as (select 1 union all select x+1 from n where "
                       "x<?) insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\","
                       "o) select '收入','2024-03-01',?||x||'-'||hex(randomblob(?)),'张三',"
                       "100,60,40,0,0,0,'1' from n"),
        {count, tag, padding});
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.qvtmp-*")}, QDir::Files | QDir::Hidden);
}

// Another running copy adding records one at a time.
struct Writer
{
    QProcess process;
    int acks = 0;
    QStringList errors;

    explicit Writer(const QString& book)
    {
        process.setProgram(QStringLiteral(QUENVALE_BOOKDRIVER));
        process.setArguments({QStringLiteral("add"), book});
        process.start();
        process.waitForStarted();
        waitForAcks(1);
    }
    ~Writer()
    {
        process.kill();
        process.waitForFinished();
    }
    void read()
    {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(u"ACK"))
                ++acks;
            else if (line.startsWith(u"ERROR") || line == u"FAILED")
                errors << line;
        }
    }
    // True once n more records were stored.
    bool waitForAcks(int n)
    {
        const int target = acks + n;
        QElapsedTimer clock;
        clock.start();
        while (acks < target && clock.elapsed() < 20000 && process.state() == QProcess::Running) {
            process.waitForReadyRead(200);
            read();
        }
        return acks >= target;
    }
};

Tbeifen* openWindow()
{
    MainForm->ToolButton17->click();
    return MainForm->beifen;
}

} // namespace

class TestBackupSafety : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        testsupport::clearSettings();
        scripted().clear();
    }

    void backupUnderAnotherWriterIsOneSoundMoment()
    {
        testsupport::MainWindowSession session;
        const QString book = session.book.bookPath();
        fill(book, QStringLiteral("bulk-"), 100000, 120);
        Writer writer(book);
        Tbeifen* window = openWindow();
        int tried = 0;
        int sound = 0;
        int writtenDuring = 0;
        for (int i = 0; i < 5; ++i) {
            const QString backup = session.book.file(QStringLiteral("b%1.mdb").arg(i));
            window->Edit1->setText(backup);
            scripted().clear();
            const qint64 before = rows(book);
            QElapsedTimer clock;
            clock.start();
            window->BitBtn1->click();
            const qint64 took = clock.elapsed();
            const qint64 after = rows(book);
            ++tried;
            QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
            QCOMPARE(integrity(backup), QStringLiteral("ok"));
            const qint64 held = rows(backup);
            QVERIFY2(before <= held && held <= after,
                     qPrintable(QStringLiteral("%1 <= %2 <= %3").arg(before).arg(held).arg(after)));
            QVERIFY(!QFileInfo::exists(backup + QStringLiteral("-wal")));
            ++sound;
            writtenDuring += after > before;
            qInfo("backup %d: %lld ms, %lld records, %lld bytes", i, took, held,
                  QFileInfo(backup).size());
            writer.waitForAcks(3);
        }
        writer.read();
        qInfo("backups under writes tried %d, integrity ok %d", tried, sound);
        QVERIFY(writtenDuring > 0); // the writer really went on meanwhile
        QVERIFY2(writer.errors.isEmpty(), qPrintable(writer.errors.join(u'\n')));
        QVERIFY(leftovers(session.book.path()).isEmpty());
    }

    void restoreLeavesOtherConnectionsWorking()
    {
        testsupport::MainWindowSession session;
        const QString book = session.book.bookPath();
        fill(book, QStringLiteral("kept-"), 3000, 100);
        const QString backup = session.book.file(QStringLiteral("beifen.mdb"));
        bookcopy::snapshot(book, backup);
        fill(book, QStringLiteral("lost-"), 500, 10);
        Writer writer(book);
        sql::ScopedConnection other(book);
        Tbeifen* window = openWindow();
        window->Edit2->setText(backup);
        int tried = 0;
        int stillWriting = 0;
        for (int i = 0; i < 5; ++i) {
            scripted().clear();
            scripted().answers = {true};
            window->BitBtn5->click();
            ++tried;
            QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
            auto q = sql::exec(other.db(), QStringLiteral("select count(*) from data where b "
                                                          "like 'kept-%'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 3000);
            q.finish();
            sql::exec(other.db(), QStringLiteral("insert into data (b,o) values (?, '1')"),
                      {QStringLiteral("other-%1").arg(i)});
            ++stillWriting;
            QCOMPARE(rows(book, QStringLiteral("b like 'lost-%'")), 0);
            QCOMPARE(integrity(book), QStringLiteral("ok"));
            QVERIFY(writer.waitForAcks(3));
        }
        qInfo("restores under a second connection tried %d, second connection still writing %d",
              tried, stillWriting);
        QVERIFY2(writer.errors.isEmpty(), qPrintable(writer.errors.join(u'\n')));
        QCOMPARE(QDir(session.book.path())
                     .entryList({QStringLiteral("data.mdb.before-restore-*")}, QDir::Files)
                     .size(),
                 5);
    }

    void restoreChecksTheWholeBackup()
    {
        testsupport::MainWindowSession session;
        const QString book = session.book.bookPath();
        fill(book, QStringLiteral("kept-"), 200, 10);
        const QString folder = session.book.path();

        // An index that disagrees with its table passes the quick check, not the full one.
        const QString damaged = session.book.file(QStringLiteral("damaged.mdb"));
        bookcopy::snapshot(book, damaged);
        {
            sql::ScopedConnection conn(damaged);
            sql::exec(conn.db(), QStringLiteral("PRAGMA writable_schema=ON"));
            sql::exec(conn.db(), QStringLiteral("update sqlite_master set sql='CREATE INDEX data_b "
                                                "ON data(c)' where name='data_b'"));
        }
        QCOMPARE(scalar(damaged, QStringLiteral("PRAGMA quick_check")).toString(),
                 QStringLiteral("ok"));

        // A backup whose newest rows live only in its -wal file.
        const QString walBackup = session.book.file(QStringLiteral("wal.mdb"));
        {
            bookcopy::snapshot(book, session.book.file(QStringLiteral("w.mdb")));
            sql::ScopedConnection conn(session.book.file(QStringLiteral("w.mdb")));
            sql::exec(conn.db(), QStringLiteral("PRAGMA journal_mode=WAL"));
            sql::exec(conn.db(), QStringLiteral("PRAGMA wal_autocheckpoint=0"));
            sql::exec(conn.db(), QStringLiteral("insert into data (b,o) values ('in-wal','1')"));
            for (const QString& suffix : {QString(), QStringLiteral("-wal")})
                QVERIFY(QFile::copy(session.book.file(QStringLiteral("w.mdb")) + suffix,
                                    walBackup + suffix));
        }
        // A -wal beside a book that never had one.
        const QString stray = session.book.file(QStringLiteral("stray.mdb"));
        bookcopy::snapshot(book, stray);
        QVERIFY(QFile::copy(walBackup + QStringLiteral("-wal"), stray + QStringLiteral("-wal")));

        Tbeifen* window = openWindow();
        const QByteArray original = bytesOf(book);
        for (const QString& refused : {damaged, stray}) {
            scripted().clear();
            window->Edit2->setText(refused);
            window->BitBtn5->click();
            QCOMPARE(scripted().shown.size(), 1);
            QCOMPARE(bytesOf(book), original);
        }
        QCOMPARE(scripted().lastText().contains(QStringLiteral("stray.mdb-wal")), true);
        QCOMPARE(scripted().shown.size(), 1);
        QVERIFY(QDir(folder).entryList({QStringLiteral("*before-restore*")}).isEmpty());
        QVERIFY(leftovers(folder).isEmpty());

        scripted().clear();
        scripted().answers = {true};
        window->Edit2->setText(walBackup);
        window->BitBtn5->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(rows(book, QStringLiteral("b='in-wal'")), 1);
        QCOMPARE(bytesOf(book).at(18), char(1)); // the book stays out of WAL mode
        QVERIFY(!QFileInfo::exists(book + QStringLiteral("-wal")));
        QVERIFY(leftovers(folder).isEmpty());

        // A book SQLite cannot read any more is kept byte for byte and then replaced.
        const QString garbage = session.book.file(QStringLiteral("garbage.mdb"));
        {
            QFile f(garbage);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, 'x'));
        }
        bookcopy::Restore restore(walBackup, garbage);
        restore.check();
        const QString safety = restore.replace();
        QCOMPARE(bytesOf(safety), QByteArray(8192, 'x'));
        QCOMPARE(rows(garbage, QStringLiteral("b='in-wal'")), 1);
        QCOMPARE(integrity(garbage), QStringLiteral("ok"));
    }

    void accessBackupIsConvertedAndRestored()
    {
        testsupport::MainWindowSession session;
        const QString fixture = session.book.file(QStringLiteral("old-backup.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(QUENVALE_ACCESS_FIXTURE), fixture));
        const QByteArray access = bytesOf(fixture);
        Tbeifen* window = openWindow();
        window->Edit2->setText(fixture);
        scripted().answers = {true, true};
        window->BitBtn5->click();
        QCOMPARE(scripted().shown.size(), 4);
        QCOMPARE(scripted().shown.at(0).kind, QStringLiteral("yesNo"));
        QVERIFY(scripted().shown.at(1).text.contains(QStringLiteral("导入记录 236 条")));
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(bytesOf(fixture), access);
        window->close();
        QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 236);
        QCOMPARE(integrity(session.book.bookPath()), QStringLiteral("ok"));
    }

    void killedRestoreLeavesOldOrNewBook()
    {
        testsupport::BookFolder folder;
        const QString book = folder.bookPath();
        fill(book, QStringLiteral("old-"), 4000, 150);
        const QString backup = folder.file(QStringLiteral("new.mdb"));
        testsupport::makeFreshBook(backup);
        fill(backup, QStringLiteral("new-"), 12000, 150);
        const QString pristine = folder.file(QStringLiteral("old.copy"));
        QVERIFY(QFile::copy(book, pristine));

        // Answers every pause; kills the restore at pause killAt (0: never).
        auto run = [&](int killAt) {
            QProcess driver;
            driver.start(QStringLiteral(QUENVALE_BOOKDRIVER),
                         {QStringLiteral("restore"), backup, book});
            int reached = 0;
            while (driver.waitForReadyRead(20000)) {
                while (driver.canReadLine()) {
                    const QByteArray line = driver.readLine().trimmed();
                    if (!line.startsWith("AT"))
                        continue;
                    if (++reached == killAt) {
                        driver.kill();
                        driver.waitForFinished();
                        return reached;
                    }
                    driver.write("go\n");
                }
            }
            driver.waitForFinished();
            return reached;
        };
        const int points = run(0);
        QVERIFY(points > 10);
        QCOMPARE(rows(book), 12000);

        QMap<QString, int> outcome;
        for (int at : {1, 2, points / 4, points / 2, 3 * points / 4, points - 1, points}) {
            for (const QString& name : QDir(folder.path()).entryList({QStringLiteral("data.mdb*")}))
                QVERIFY(QFile::remove(folder.file(name)));
            QVERIFY(QFile::copy(pristine, book));
            QCOMPARE(run(at), at);
            // A kill inside the replacement leaves a half-written book and its journal.
            if (QFileInfo(book + QStringLiteral("-journal")).size() > 0)
                ++outcome[QStringLiteral("rolled back")];
            QCOMPARE(integrity(book), QStringLiteral("ok"));
            const qint64 n = rows(book);
            QVERIFY2(n == 4000 || n == 12000, qPrintable(QString::number(n)));
            QCOMPARE(rows(book, n == 4000 ? QStringLiteral("b like 'old-%'")
                                          : QStringLiteral("b like 'new-%'")),
                     n);
            ++outcome[n == 4000 ? QStringLiteral("old") : QStringLiteral("new")];
            // The next attempt sweeps what the killed one left.
            bookcopy::removeLeftovers(folder.path());
            QVERIFY(leftovers(folder.path()).isEmpty());
        }
        qInfo() << "killed restores:" << outcome;

        // Only abandoned files of the program's own naming go; a file in use stays, and so does
        // the operator's own.
        auto make = [&](const QString& name, const QByteArray& bytes, int ageSeconds) {
            QFile f(folder.file(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.flush();
            f.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                          QFileDevice::FileModificationTime);
        };
        const QByteArray sqlite("SQLite format 3\0 and the rest", 30);
        make(QStringLiteral(".data.mdb.aB3xYz"), sqlite, 3600);
        make(QStringLiteral("data.mdb.converting-Qx12ab"), QByteArray(), 3600);
        make(QStringLiteral(".data.mdb.backup"), sqlite, 3600);
        make(QStringLiteral(".data.mdb.Kq81Zz"), sqlite, 10);
        make(QStringLiteral(".x.mdb.qvtmp-Busy01"), sqlite, 0);
        QFile busy(folder.file(QStringLiteral(".x.mdb.qvtmp-Busy01")));
        QVERIFY(busy.open(QIODevice::ReadOnly));
        QCOMPARE(::flock(busy.handle(), LOCK_EX | LOCK_NB), 0);
        bookcopy::removeLeftovers(folder.path());
        QCOMPARE(
            QDir(folder.path())
                .entryList({QStringLiteral(".*"), QStringLiteral("*converting*")},
                           QDir::Files | QDir::Hidden),
            (QStringList{QStringLiteral(".data.mdb.backup"), QStringLiteral(".data.mdb.Kq81Zz"),
                         QStringLiteral(".x.mdb.qvtmp-Busy01")}));
        QVERIFY(outcome.value(QStringLiteral("rolled back")) >= 2);
    }

    void mainWindowClosesWithTheBackupWindowOpen()
    {
        testsupport::MainWindowSession session;
        loginfm = new Tloginfm(MainForm);
        MainForm->setLoginGate(loginfm);
        loginfm->show();
        loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
        loginfm->Edit1->setText(QStringLiteral("574"));
        loginfm->bitbtn4->click();
        const int id = MainForm->LoginLogId;
        QVERIFY(id > 0);
        QPointer<Tbeifen> window = openWindow();
        QVERIFY(!dmfm->connected());
        scripted().clear();
        QVERIFY(MainForm->close());
        QVERIFY(scripted().shown.isEmpty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
        QVERIFY(!scalar(session.book.bookPath(), QStringLiteral("select jtime from rz where id=?"),
                        {id})
                     .isNull());
    }
};

QUENVALE_TEST_MAIN(TestBackupSafety)
#include "tst_backupsafety.moc"
