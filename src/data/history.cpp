#include "data/history.h"

#include "data/errors.h"
#include "data/historystore.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlQuery>

namespace history {

namespace store {

const QString& columns()
{
    static const QString names =
        QStringLiteral("seq, changed_at, username, action, kind, tablename, rowkey, batch, "
                       "before_values, after_values, prevhash, hash");
    return names;
}

Head headFrom(const QVariant& value)
{
    Head head;
    if (value.isNull())
        return head;
    const QString text = value.toString();
    head.present = true;
    head.seq = text.section(u' ', 0, 0).toLongLong();
    head.hash = text.section(u' ', 1);
    return head;
}

Head readHead(QSqlDatabase& db, bool forUpdate)
{
    QString statement = QStringLiteral("select value from bookinfo where name='history'");
    if (forUpdate && sql::isServer(db))
        statement += QStringLiteral(" for update");
    QSqlQuery q = sql::exec(db, statement);
    return q.next() ? headFrom(q.value(0)) : Head();
}

Entry entryFrom(const QSqlQuery& q)
{
    Entry e;
    e.seq = q.value(0).toLongLong();
    e.at = q.value(1).toString();
    e.user = q.value(2).toString();
    e.action = q.value(3).toString();
    e.kind = kindFromText(q.value(4).toString());
    e.table = q.value(5).toString();
    e.key = q.value(6).toLongLong();
    e.batch = q.value(7).toLongLong();
    e.beforeText = q.value(8).toString();
    e.afterText = q.value(9).toString();
    e.prevHash = q.value(10).toString();
    e.hash = q.value(11).toString();
    return e;
}

} // namespace store

namespace {

using store::Head;
using store::readHead;

// Qt binds a null text as NULL; the history's columns hold texts, empty ones included.
QString text(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

QString& operatorName()
{
    static QString name;
    return name;
}

std::function<QDateTime()>& clock()
{
    static std::function<QDateTime()> now;
    return now;
}

void writeHead(QSqlDatabase& db, qint64 seq, const QString& hash)
{
    const QString value = QString::number(seq) + u' ' + hash;
    QSqlQuery q =
        sql::exec(db, QStringLiteral("update bookinfo set value=? where name='history'"), {value});
    if (q.numRowsAffected() == 0)
        sql::exec(db, QStringLiteral("insert into bookinfo (name, value) values ('history', ?)"),
                  {value});
}

QString headInsert(const QSqlDatabase& db)
{
    return sql::isServer(db)
               ? QStringLiteral("insert into bookinfo (name, value) values ('history', '0 ') on "
                                "conflict (name) do nothing")
               : QStringLiteral("INSERT OR IGNORE INTO bookinfo (name, value) VALUES ('history', "
                                "'0 ')");
}

QString defaultAction(Kind kind)
{
    switch (kind) {
    case Kind::Added:
        return QStringLiteral("新增");
    case Kind::Changed:
        return QStringLiteral("修改");
    case Kind::Removed:
        return QStringLiteral("删除");
    case Kind::Purged:
        return QStringLiteral("彻底删除");
    case Kind::Book:
        return QStringLiteral("恢复数据库");
    case Kind::Rows:
        break;
    }
    return QStringLiteral("写入");
}

// The table and the head row's table, which books of older layouts lack.
bool hasHistory(QSqlDatabase& db)
{
    QSqlQuery q = sql::exec(
        db, sql::isServer(db)
                ? QStringLiteral("select to_regclass('changes') is not null and "
                                 "to_regclass('bookinfo') is not null")
                : QStringLiteral("select count(*) = 2 from sqlite_master where type='table' and "
                                 "name in ('changes', 'bookinfo')"));
    return q.next() && q.value(0).toBool();
}

} // namespace

void createTable(QSqlDatabase& db)
{
    QStringList statements;
    if (sql::isServer(db)) {
        statements = {
            QStringLiteral(
                "create table if not exists changes (seq bigint primary key, changed_at text "
                "collate \"C\" not null, username text collate \"C\" not null, action text collate "
                "\"C\" not null, kind text collate \"C\" not null, tablename text collate \"C\" "
                "not "
                "null, rowkey bigint not null, batch bigint not null, before_values text collate "
                "\"C\" not null, after_values text collate \"C\" not null, prevhash text collate "
                "\"C\" not null, hash text collate \"C\" not null)"),
            QStringLiteral("create index if not exists changes_at on changes(changed_at)"),
            QStringLiteral("create index if not exists changes_key on changes(tablename, rowkey, "
                           "seq)"),
            QStringLiteral(
                "create index if not exists changes_removed on changes(tablename, seq) where "
                "kind='removed'"),
        };
    } else {
        // The user compares as userdb's names do; seq is given by the program (never twice,
        // kept in bookinfo's head row), so it needs no AUTOINCREMENT. A batch is numbered on
        // from its first entry's number, so the key finds it (seq >= batch) without an index of
        // its own: every index is one more page written with every change.
        statements = {
            QStringLiteral(
                "CREATE TABLE IF NOT EXISTS changes (seq INTEGER PRIMARY KEY, "
                "changed_at TEXT NOT NULL, username TEXT NOT NULL COLLATE NOCASE, action "
                "TEXT NOT NULL, kind TEXT NOT NULL, tablename TEXT NOT NULL, rowkey "
                "INTEGER NOT NULL, batch INTEGER NOT NULL, before_values TEXT NOT NULL, "
                "after_values TEXT NOT NULL, prevhash TEXT NOT NULL, hash TEXT NOT NULL)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS changes_at ON changes(changed_at)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS changes_key ON changes(tablename, rowkey, "
                           "seq)"),
            // The recycle bin reads the deletes alone.
            QStringLiteral(
                "CREATE INDEX IF NOT EXISTS changes_removed ON changes(tablename, seq) WHERE "
                "kind='removed'"),
        };
    }
    for (const QString& statement : statements)
        sql::exec(db, statement);
    sql::exec(db, headInsert(db));
}

void setClock(std::function<QDateTime()> now)
{
    clock() = std::move(now);
}

void setOperator(const QString& name)
{
    operatorName() = name;
}

QString currentOperator()
{
    return operatorName();
}

bool isAdministrator(const QString& user)
{
    return user == QString::fromUtf16(schema::kAdministrator);
}

void lock(QSqlDatabase& db)
{
    if (!sql::isServer(db))
        return;
    if (!readHead(db, true).present) {
        // A head row lost to another program is made again; of two clients, one waits.
        sql::exec(db, headInsert(db));
        readHead(db, true);
    }
}

qint64 lastNumber(QSqlDatabase& db)
{
    QSqlQuery q = sql::exec(db, QStringLiteral("select max(seq) from changes"));
    const qint64 tail = q.next() ? q.value(0).toLongLong() : 0;
    q.finish();
    return std::max(tail, readHead(db, false).seq);
}

qint64 append(QSqlDatabase& db, const QString& user, const QString& action,
              const QList<Change>& changes, qint64 atLeast)
{
    if (changes.isEmpty())
        return 0;
    lock(db);
    // The head and the newest number in one statement: an append runs with every write.
    QSqlQuery ends =
        sql::exec(db, QStringLiteral("select (select value from bookinfo where "
                                     "name='history'), (select max(seq) from changes)"));
    Head head;
    qint64 tailSeq = 0;
    if (ends.next()) {
        head = store::headFrom(ends.value(0));
        tailSeq = ends.value(1).toLongLong();
    }
    ends.finish();
    // Linked to the head's hash, so that a newest entry rewritten by another program stays
    // found after the next append; without a head, to the newest entry there is.
    QString prev = head.hash;
    if (!head.present || head.seq < tailSeq) {
        QSqlQuery q =
            sql::exec(db, QStringLiteral("select hash from changes where seq=?"), {tailSeq});
        prev = q.next() ? q.value(0).toString() : QString();
    }
    qint64 seq = std::max({head.seq, tailSeq, atLeast}) + 1;
    const qint64 batch = seq;
    const QString at = (clock() ? clock()() : QDateTime::currentDateTime())
                           .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString insert = QStringLiteral("insert into changes (") + store::columns() +
                           QStringLiteral(") values (?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const Change& change : changes) {
        Entry e;
        e.seq = seq++;
        e.at = at;
        e.user = user;
        e.action = action.isEmpty() ? defaultAction(change.kind) : action;
        e.kind = change.kind;
        e.table = change.table;
        e.key = change.key;
        e.batch = batch;
        e.beforeText = toJson(change.before);
        e.afterText = toJson(change.after);
        e.prevHash = prev;
        e.hash = hashOf(e);
        sql::exec(db, insert,
                  {e.seq, e.at, text(e.user), e.action, kindText(e.kind), text(e.table), e.key,
                   e.batch, e.beforeText, e.afterText, text(e.prevHash), e.hash});
        prev = e.hash;
    }
    writeHead(db, seq - 1, prev);
    return batch;
}

QString hashOf(const Entry& e)
{
    // Every stored field but the hash itself, in a fixed order, each as its UTF-8 length and
    // bytes, so that no two entries share a form.
    QByteArray form;
    form.reserve(256 + 3 * (e.beforeText.size() + e.afterText.size()));
    for (const QString& field : {QString::number(e.seq), e.at, e.user, e.action, kindText(e.kind),
                                 e.table, QString::number(e.key), QString::number(e.batch),
                                 e.beforeText, e.afterText, e.prevHash}) {
        const QByteArray bytes = field.toUtf8();
        form += QByteArray::number(bytes.size());
        form += ':';
        form += bytes;
    }
    return QString::fromLatin1(QCryptographicHash::hash(form, QCryptographicHash::Sha256).toHex());
}

void copy(QSqlDatabase& from, QSqlDatabase& to)
{
    if (!hasHistory(from))
        return;
    QSqlQuery read = sql::exec(from, QStringLiteral("select ") + store::columns() +
                                         QStringLiteral(" from changes order by seq"));
    const QString insert = QStringLiteral("insert into changes (") + store::columns() +
                           QStringLiteral(") values (?,?,?,?,?,?,?,?,?,?,?,?)");
    while (read.next()) {
        QVariantList row;
        for (int c = 0; c < 12; ++c)
            row << read.value(c);
        sql::exec(to, insert, row);
    }
    read.finish();
    const Head head = readHead(from, false);
    if (head.present)
        writeHead(to, head.seq, head.hash);
}

void clear(QSqlDatabase& db)
{
    if (!hasHistory(db))
        return;
    sql::exec(db, QStringLiteral("delete from changes"));
    sql::exec(db, QStringLiteral("delete from bookinfo where name='history'"));
}

} // namespace history
