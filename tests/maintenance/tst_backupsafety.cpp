// Backup and restore on a live book: another copy writes meanwhile, backups may be damaged or
// come from the Access program, and a restore may be killed half-way.
#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/sql.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "support/testsupport.h"
#include "users/login.h"

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

// Adds count records with summaries "<tag><n>-<padding>".
void fill(const QString& path, const QString& tag, int count, int padding)
{
    sql::ScopedConnection conn(path);
    sql::exec(conn.db(),
              QStringLiteral("with recursive n(x) as (select 1 union all select x+1 from n where "
                             "x<?) insert into data (a,day1,b,\"1\",o) select '收入','2024-03-01',"
                             "?||x||'-'||hex(randomblob(?)),100,'1' from n"),
              {count, tag, padding});
}

QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.qvtmp-*")}, QDir::Files | QDir::Hidden);
}

// Another running copy adding a record every few milliseconds.
struct Writer
{
    QProcess process;
    int acks = 0;
    QStringList errors;
    explicit Writer(const QString& book)
    {
        process.start(QStringLiteral(QUENVALE_BOOKDRIVER), {QStringLiteral("add"), book});
        waitForAcks(1);
    }
    ~Writer()
    {
        process.kill();
        process.waitForFinished();
    }
    bool waitForAcks(int n)
    {
        const int target = acks + n;
        for (int i = 0; i < 100 && acks < target && process.waitForReadyRead(200); ++i) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                line.startsWith("ACK") ? void(++acks) : errors.append(QString::fromUtf8(line));
            }
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
    void init() { scripted().clear(); }

    void backupUnderAnotherWriterIsOneSoundMoment()
    {
        testsupport::MainWindowSession session;
        const QString book = session.book.bookPath();
        fill(book, QStringLiteral("bulk-"), 100000, 120);
        Writer writer(book);
        Tbeifen* window = openWindow();
        int sound = 0;
        int writtenMeanwhile = 0;
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
            QCOMPARE(scripted().texts(), QStringList{QStringLiteral("数据库备份成功！")});
            QCOMPARE(integrity(backup), QStringLiteral("ok"));
            const qint64 held = rows(backup);
            QVERIFY2(before <= held && held <= after,
                     qPrintable(QStringLiteral("%1 %2 %3").arg(before).arg(held).arg(after)));
            ++sound;
            writtenMeanwhile += after > before;
            qInfo("backup %d: %lld ms with its check, %lld records, %lld bytes", i, took, held,
                  QFileInfo(backup).size());
            QVERIFY(writer.waitForAcks(3));
        }
        qInfo("backups under writes tried 5, integrity ok %d", sound);
        QVERIFY(writtenMeanwhile > 0);
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
        int stillWriting = 0;
        for (int i = 0; i < 5; ++i) {
            scripted().answers = {true};
            window->BitBtn5->click();
            QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
            auto q = sql::exec(other.db(), QStringLiteral("select count(*) from data where b like "
                                                          "'kept-%' or b like 'lost-%'"));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toInt(), 3000);
            q.finish();
            sql::exec(other.db(), QStringLiteral("insert into data (b,o) values ('other','1')"));
            ++stillWriting;
            QCOMPARE(integrity(book), QStringLiteral("ok"));
            QVERIFY(writer.waitForAcks(3));
        }
        qInfo("restores under a second connection tried 5, second connection still writing %d",
              stillWriting);
        QVERIFY2(writer.errors.isEmpty(), qPrintable(writer.errors.join(u'\n')));
        QCOMPARE(QDir(session.book.path())
                     .entryList({QStringLiteral("data.mdb.before-restore-*")})
                     .size(),
                 5);
    }

    void restoreChecksTheWholeBackup()
    {
        testsupport::MainWindowSession session;
        const QString book = session.book.bookPath();
        fill(book, QStringLiteral("kept-"), 200, 10);
        auto file = [&](const char* name) { return session.book.file(QString::fromLatin1(name)); };
        // An index that disagrees with its table passes the quick check, not the full one.
        bookcopy::snapshot(book, file("damaged.mdb"));
        {
            sql::ScopedConnection conn(file("damaged.mdb"));
            sql::exec(conn.db(), QStringLiteral("PRAGMA writable_schema=ON"));
            sql::exec(conn.db(), QStringLiteral("update sqlite_master set sql='CREATE INDEX "
                                                "data_b ON data(c)' where name='data_b'"));
        }
        QCOMPARE(scalar(file("damaged.mdb"), QStringLiteral("PRAGMA quick_check")).toString(),
                 QStringLiteral("ok"));
        // A backup whose newest row lives only in its -wal, and a -wal beside a book without one.
        bookcopy::snapshot(book, file("w.mdb"));
        bookcopy::snapshot(book, file("stray.mdb"));
        {
            sql::ScopedConnection conn(file("w.mdb"));
            sql::exec(conn.db(), QStringLiteral("PRAGMA journal_mode=WAL"));
            sql::exec(conn.db(), QStringLiteral("PRAGMA wal_autocheckpoint=0"));
            sql::exec(conn.db(), QStringLiteral("insert into data (b,o) values ('in-wal','1')"));
            for (const char* name : {"wal.mdb", "stray.mdb"})
                QVERIFY(QFile::copy(file("w.mdb-wal"), file(name) + QStringLiteral("-wal")));
            QVERIFY(QFile::copy(file("w.mdb"), file("wal.mdb")));
        }

        Tbeifen* window = openWindow();
        const QByteArray original = bytesOf(book);
        for (const char* refused : {"damaged.mdb", "stray.mdb"}) {
            scripted().clear();
            window->Edit2->setText(file(refused));
            window->BitBtn5->click();
            QCOMPARE(scripted().shown.size(), 1);
            QCOMPARE(bytesOf(book), original);
        }
        QVERIFY(scripted().lastText().contains(QStringLiteral("stray.mdb-wal")));
        QVERIFY(
            QDir(session.book.path()).entryList({QStringLiteral("*before-restore*")}).isEmpty());

        scripted().answers = {true};
        window->Edit2->setText(file("wal.mdb"));
        window->BitBtn5->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(rows(book, QStringLiteral("b='in-wal'")), 1);
        QCOMPARE(bytesOf(book).at(18), char(1)); // the book stays out of WAL mode
        QVERIFY(leftovers(session.book.path()).isEmpty());

        // A book SQLite cannot read any more is kept byte for byte, then replaced.
        QFile garbage(file("garbage.mdb"));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(8192, 'x')));
        garbage.close();
        bookcopy::Restore restore(file("wal.mdb"), garbage.fileName());
        restore.check();
        QCOMPARE(bytesOf(restore.replace()), QByteArray(8192, 'x'));
        QCOMPARE(rows(garbage.fileName(), QStringLiteral("b='in-wal'")), 1);
    }

    void accessBackupIsConvertedAndRestored()
    {
        testsupport::MainWindowSession session;
        const QString access = session.book.file(QStringLiteral("old-backup.mdb"));
        QVERIFY(QFile::copy(QStringLiteral(QUENVALE_ACCESS_FIXTURE), access));
        const QByteArray untouched = bytesOf(access);
        Tbeifen* window = openWindow();
        window->Edit2->setText(access);
        scripted().answers = {true, true};
        window->BitBtn5->click();
        QCOMPARE(scripted().shown.size(), 4);
        QVERIFY(scripted().shown.at(1).text.contains(QStringLiteral("导入记录 236 条")));
        QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
        QCOMPARE(bytesOf(access), untouched);
        window->close();
        QCOMPARE(MainForm->DBGridEh1->model()->rowCount(), 236);
    }

    void killedRestoreLeavesOldOrNewBook()
    {
        testsupport::BookFolder folder;
        const QString book = folder.bookPath();
        const QString backup = folder.file(QStringLiteral("new.mdb"));
        const QString pristine = folder.file(QStringLiteral("old.copy"));
        fill(book, QStringLiteral("old-"), 4000, 150);
        testsupport::makeFreshBook(backup);
        fill(backup, QStringLiteral("new-"), 12000, 150);
        QVERIFY(QFile::copy(book, pristine));
        // Goes on at every pause of the restore and kills it at pause killAt.
        auto run = [&](int killAt) {
            QProcess driver;
            driver.start(QStringLiteral(QUENVALE_BOOKDRIVER),
                         {QStringLiteral("restore"), backup, book});
            int reached = 0;
            while (driver.waitForReadyRead(20000)) {
                while (driver.canReadLine()) {
                    if (!driver.readLine().startsWith("AT"))
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
        QCOMPARE(rows(book, QStringLiteral("b like 'new-%'")), 12000);

        int rolledBack = 0;
        for (int at : {1, 2, points / 4, points / 2, 3 * points / 4, points - 1, points}) {
            for (const QString& name : QDir(folder.path()).entryList({QStringLiteral("data.mdb*")}))
                QVERIFY(QFile::remove(folder.file(name)));
            QVERIFY(QFile::copy(pristine, book));
            QCOMPARE(run(at), at);
            rolledBack += QFileInfo(book + QStringLiteral("-journal")).size() > 0;
            QCOMPARE(integrity(book), QStringLiteral("ok"));
            const qint64 n = rows(book);
            QVERIFY2((n == 4000 && rows(book, QStringLiteral("b like 'old-%'")) == n) ||
                         (n == 12000 && rows(book, QStringLiteral("b like 'new-%'")) == n),
                     qPrintable(QString::number(n)));
            bookcopy::removeLeftovers(folder.path()); // as the next attempt does
            QVERIFY(leftovers(folder.path()).isEmpty());
        }
        qInfo("killed restores: %d of 7 rolled back a half-written book", rolledBack);
        QVERIFY(rolledBack >= 2);

        // Abandoned files of the old naming go; the operator's own and those in use stay.
        auto make = [&](const char* name, int age) {
            QFile f(folder.file(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("SQLite format 3\0 ...", 20) &&
                    f.flush());
            f.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                          QFileDevice::FileModificationTime);
        };
        for (const char* name : {".data.mdb.aB3xYz", "data.mdb.converting-Qx12ab"})
            make(name, 3600);
        make(".data.mdb.backup", 3600);
        make(".data.mdb.Kq81Zz", 10);
        make(".x.mdb.qvtmp-Busy01", 0);
        QFile busy(folder.file(QStringLiteral(".x.mdb.qvtmp-Busy01")));
        QVERIFY(busy.open(QIODevice::ReadOnly) && ::flock(busy.handle(), LOCK_EX | LOCK_NB) == 0);
        bookcopy::removeLeftovers(folder.path());
        QCOMPARE(
            QDir(folder.path())
                .entryList({QStringLiteral(".*"), QStringLiteral("*converting*")},
                           QDir::Files | QDir::Hidden),
            (QStringList{QStringLiteral(".data.mdb.backup"), QStringLiteral(".data.mdb.Kq81Zz"),
                         QStringLiteral(".x.mdb.qvtmp-Busy01")}));
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
        QPointer<Tbeifen> window = openWindow();
        QVERIFY(id > 0 && !dmfm->connected());
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
