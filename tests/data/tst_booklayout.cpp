// The book's layout on both engines: keys never given twice, an older book upgraded after a
// backup, a newer one refused, and code another program put into a book or a backup.
#include "app/mainform.h"
#include "app/startup.h"
#include "cashbook/entrypanel.h"
#include "data/dm.h"
#include "data/foreigncode.h"
#include "data/sql.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "testsupport.h"

#include <sys/stat.h>

using namespace testsupport;

namespace {

QStringList column(const QString& book, const QString& statement)
{
    sql::ScopedConnection conn(book);
    QSqlQuery q = sql::exec(conn.db(), statement);
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

QString contentOf(const QString& book)
{
    return column(book, QStringLiteral(
                            "select id||'|'||b||'|'||cast(\"1\" as integer) from data order by id"))
               .join(u';') +
           column(book, QStringLiteral("select username from userdb")).join(u',');
}

int layoutOf(const QString& book)
{
    sql::ScopedConnection conn(book);
    return sql::isServer(conn.db())
               ? column(book, QStringLiteral("select value from bookinfo where name='layout'"))
                     .value(0)
                     .toInt()
               : column(book, QStringLiteral("PRAGMA user_version")).value(0).toInt();
}

// The layout of the program's first release: keys of data reused, no bookinfo, fewer indexes
// (and one index of the operator's own).
void makeLayoutOne(const QString& book)
{
    sql::ScopedConnection conn(book);
    QSqlDatabase& db = conn.db();
    if (sql::isServer(db)) {
        sql::exec(db, QStringLiteral("drop table bookinfo"));
        return;
    }
    for (const char* statement :
         {"ALTER TABLE data RENAME TO newer", "DROP INDEX data_b",
          "CREATE TABLE data ( id INTEGER PRIMARY KEY, a TEXT, day1 DATE, b TEXT, c TEXT, \"1\" "
          "REAL, \"2\" REAL, \"3\" REAL, \"4\" REAL, \"5\" REAL, \"6\" REAL, o TEXT)",
          "INSERT INTO data SELECT * FROM newer", "DROP TABLE newer", "DROP TABLE bookinfo",
          "CREATE INDEX data_day1 ON data(day1)", "CREATE INDEX data_c ON data(c)",
          "CREATE INDEX mine ON data(o, b)", "PRAGMA user_version = 1"})
        sql::exec(db, QString::fromLatin1(statement));
}

void addRecords(const QString& book, int count, const QString& tag)
{
    for (int i = 0; i < count; ++i)
        insertRecord(book, QStringLiteral("收入"), QStringLiteral("2024-05-0%1").arg(i % 9 + 1),
                     tag + QString::number(i), QStringLiteral("甲"), 10 + i, 5, 0, 0);
}

// A trigger that deletes every other record at the next add.
void plantTrigger(const QString& book)
{
    sql::ScopedConnection conn(book);
    if (!sql::isServer(conn.db())) {
        sql::exec(conn.db(), QStringLiteral("create trigger wipe after insert on data begin delete "
                                            "from data where id<>new.id; end"));
        sql::exec(conn.db(), QStringLiteral("create view peek as select * from userdb"));
        return;
    }
    sql::exec(conn.db(), QStringLiteral("create function wipe() returns trigger language plpgsql "
                                        "as 'begin delete from data where id<>new.id; return "
                                        "null; end'"));
    sql::exec(conn.db(), QStringLiteral("create trigger wipe after insert on data for each row "
                                        "execute function wipe()"));
    sql::exec(conn.db(), QStringLiteral("create view peek as select * from userdb"));
}

bool start(const BookFolder& book)
{
    if (!startup::createWindows(onServer() ? book.bookPath() : QString()))
        return false;
    MainForm->setLoginGate(nullptr);
    return true;
}

// Restores backup into the session's book through the backup window.
void restore(const QString& backup)
{
    MainForm->ToolButton17->click();
    MainForm->beifen->Edit2->setText(backup);
    scripted().answers = {true};
    MainForm->beifen->BitBtn5->click();
    MainForm->beifen->close();
}

} // namespace

class BookLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void cleanup() { startup::destroyWindows(); }
    void keysAreNeverGivenTwice();
    void olderBookIsUpgradedAfterABackup();
    void newerBookIsRefusedUntouched();
    void foreignCodeInTheBookIsRemovedOnlyWhenAgreed();
    void restoreRefusesForeignCodeAndUpgradesAnOlderBackup();
};

void BookLayoutTest::keysAreNeverGivenTwice()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    addRecords(book, 3, QStringLiteral("r"));
    session.reload();
    const qint64 newest =
        column(book, QStringLiteral("select max(id) from data")).value(0).toLongLong();
    // Another copy deletes the newest record; this one adds through the entry panel.
    scalar(book, QStringLiteral("delete from data where id=?"), {newest});
    MainForm->ToolButton7->click();
    MainForm->Panel3->ComboBox3->setEditText(QStringLiteral("added"));
    typeText(MainForm->Panel3->Edit9, QStringLiteral("10"));
    MainForm->Panel3->Button1->click();
    const qint64 added =
        column(book, QStringLiteral("select id from data where b='added'")).value(0).toLongLong();
    QVERIFY2(added > newest, qPrintable(QString::number(added)));
    // A restore of an older backup does not give the keys given since either.
    const QString backup = session.book.file(QStringLiteral("before.mdb"));
    bookcopy::snapshot(book, backup);
    addRecords(book, 2, QStringLiteral("later"));
    const qint64 latest =
        column(book, QStringLiteral("select max(id) from data")).value(0).toLongLong();
    restore(backup);
    QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
    QVERIFY(insertRecord(book, QStringLiteral("收入"), QStringLiteral("2024-06-01"),
                         QStringLiteral("after"), QString(), 1, 1, 0, 0) > latest);
}

void BookLayoutTest::olderBookIsUpgradedAfterABackup()
{
    BookFolder book;
    addRecords(book.bookPath(), 6, QStringLiteral("old"));
    scalar(book.bookPath(), QStringLiteral("delete from data where id in (2, 4)"));
    makeLayoutOne(book.bookPath());
    const QString before = contentOf(book.bookPath());
    QVERIFY(start(book));
    QCOMPARE(scripted().texts(), QStringList());
    QCOMPARE(layoutOf(book.bookPath()), 2);
    QCOMPARE(contentOf(book.bookPath()), before);
    // The backup holds the book as it was, in its old layout.
    const QList<autobackup::Entry> backups = autobackup::list(book.bookPath());
    QCOMPARE(backups.size(), 1);
    QCOMPARE(contentOf(backups.constFirst().path), before);
    if (!onServer()) {
        QCOMPARE(layoutOf(backups.constFirst().path), 1);
        struct stat saved
        {
        };
        QCOMPARE(::stat(QFile::encodeName(backups.constFirst().path).constData(), &saved), 0);
        QCOMPARE(saved.st_mode & 0777, 0600u);
        // The same layout as a new book, the operator's own index kept.
        BookFolder fresh;
        const QString all =
            QStringLiteral("select name||':'||sql from sqlite_master order by name");
        QStringList upgraded = column(book.bookPath(), all);
        QVERIFY(upgraded.removeAll(QStringLiteral("mine:CREATE INDEX mine ON data(o, b)")) == 1);
        QCOMPARE(upgraded, column(fresh.bookPath(), all));
    }
    // A second start finds nothing to do.
    startup::destroyWindows();
    QVERIFY(start(book));
    QCOMPARE(autobackup::list(book.bookPath()).size(), 1);
}

void BookLayoutTest::newerBookIsRefusedUntouched()
{
    BookFolder book;
    addRecords(book.bookPath(), 2, QStringLiteral("n"));
    scalar(book.bookPath(),
           onServer() ? QStringLiteral("update bookinfo set value='3' where name='layout'")
                      : QStringLiteral("PRAGMA user_version = 3"));
    const QString before = contentOf(book.bookPath());
    QVERIFY(!start(book));
    QVERIFY2(
        scripted().lastText().contains(QStringLiteral("是更新版本的本程序写的账本（账本格式 3")),
        qPrintable(scripted().lastText()));
    QCOMPARE(contentOf(book.bookPath()), before);
    QCOMPARE(layoutOf(book.bookPath()), 3);
    QVERIFY(autobackup::list(book.bookPath()).isEmpty());
}

void BookLayoutTest::foreignCodeInTheBookIsRemovedOnlyWhenAgreed()
{
    BookFolder book;
    addRecords(book.bookPath(), 3, QStringLiteral("f"));
    plantTrigger(book.bookPath());
    const QString before = contentOf(book.bookPath());
    // No: the book is not opened, and nothing changes.
    scripted().answers = {false};
    QVERIFY(!start(book));
    QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
    QVERIFY(scripted().lastNoIsDefault);
    QVERIFY2(scripted().lastText().contains(QStringLiteral("触发器“wipe”（表 data）")) &&
                 scripted().lastText().contains(QStringLiteral("视图“peek”")),
             qPrintable(scripted().lastText()));
    QVERIFY(autobackup::list(book.bookPath()).isEmpty());
    // Yes: a backup first (it keeps the code), then the code is gone and adds keep the rest.
    scripted().clear();
    scripted().answers = {true};
    QVERIFY(start(book));
    QCOMPARE(scripted().shown.size(), 2);
    const QList<autobackup::Entry> backups = autobackup::list(book.bookPath());
    QCOMPARE(backups.size(), 1);
    QVERIFY(scripted().lastText().contains(backups.constFirst().path));
    {
        sql::ScopedConnection kept(backups.constFirst().path); // a server's holds rows only
        QCOMPARE(foreigncode::find(kept.db()).size(), onServer() ? 0 : 2);
        sql::ScopedConnection live(book.bookPath());
        QVERIFY(foreigncode::find(live.db()).isEmpty());
    }
    QCOMPARE(contentOf(book.bookPath()), before);
    addRecords(book.bookPath(), 1, QStringLiteral("g"));
    QCOMPARE(column(book.bookPath(), QStringLiteral("select count(*) from data")).value(0), u"4");
}

void BookLayoutTest::restoreRefusesForeignCodeAndUpgradesAnOlderBackup()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    addRecords(book, 2, QStringLiteral("now"));
    const QString hostile = session.book.file(QStringLiteral("hostile.mdb"));
    const QString older = session.book.file(QStringLiteral("older.mdb"));
    // Backups are local files, on either engine.
    const QByteArray server = qgetenv("QUENVALE_TEST_SERVER");
    qunsetenv("QUENVALE_TEST_SERVER");
    {
        BookFolder local;
        addRecords(local.bookPath(), 4, QStringLiteral("then"));
        makeLayoutOne(local.bookPath());
        QVERIFY(QFile::copy(local.bookPath(), older));
        plantTrigger(local.bookPath());
        QVERIFY(QFile::copy(local.bookPath(), hostile));
    }
    qputenv("QUENVALE_TEST_SERVER", server);
    const QString before = contentOf(book);
    restore(hostile);
    QVERIFY2(scripted().lastText().contains(QStringLiteral("触发器“wipe”（表 data）")) &&
                 scripted().lastText().contains(QStringLiteral("恢复已取消")),
             qPrintable(scripted().lastText()));
    QCOMPARE(contentOf(book), before);
    restore(older);
    QCOMPARE(scripted().lastText(), QStringLiteral("数据库恢复成功！"));
    QCOMPARE(contentOf(book), contentOf(older));
    QCOMPARE(layoutOf(book), 2);
}

QUENVALE_TEST_MAIN(BookLayoutTest)
#include "tst_booklayout.moc"
