#include "data/layout.h"

#include "data/history.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <algorithm>
#include <iterator>

namespace layout {

namespace {

QString nameOf(const QSqlDatabase& db)
{
    return sql::isServer(db) ? server::displayName(db.connectOptions()) : db.databaseName();
}

QStringList column(QSqlDatabase& db, const QString& statement)
{
    QStringList values;
    QSqlQuery q = sql::exec(db, statement);
    while (q.next())
        values << q.value(0).toString();
    return values;
}

// 1 → 2: a key is never given twice, and the book gets its table of facts. A server's identity
// column never gives a key twice already; a local data is rebuilt with AUTOINCREMENT, keeping
// its declaration, every row with its key, and its indexes.
void keysNeverReused(QSqlDatabase& db)
{
    if (sql::isServer(db)) {
        sql::exec(db, QStringLiteral("create table if not exists bookinfo (name text collate \"C\" "
                                     "primary key, value text collate \"C\")"));
        return;
    }
    const QStringList declared = column(
        db, QStringLiteral("select sql from sqlite_master where type='table' and name='data'"));
    const QString table = declared.value(0);
    static const QRegularExpression done(QStringLiteral("\\bAUTOINCREMENT\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression key(
        QStringLiteral("[\\s(,][\"`\\[]?id[\"`\\]]?\\s+INTEGER\\s+PRIMARY\\s+KEY(\\s+(ASC|DESC))?"
                       "(?=\\s*[,)])"),
        QRegularExpression::CaseInsensitiveOption);
    if (!done.match(table).hasMatch()) {
        const QRegularExpressionMatch m = key.match(table);
        if (!m.hasMatch())
            throw DatabaseError(
                QStringLiteral("账本“%1”中 data 表的键列 id 不是本程序建立的样子（INTEGER PRIMARY "
                               "KEY），无法升级账本的格式。账本没有改动。")
                    .arg(nameOf(db)));
        QString rebuilt = table;
        rebuilt.insert(m.capturedEnd(), QStringLiteral(" AUTOINCREMENT"));
        const QStringList indexes =
            column(db, QStringLiteral("select sql from sqlite_master where type='index' and "
                                      "tbl_name='data' and sql is not null"));
        sql::exec(db, QStringLiteral("ALTER TABLE data RENAME TO data_layout1"));
        sql::exec(db, rebuilt);
        sql::exec(db, QStringLiteral("INSERT INTO data SELECT * FROM data_layout1"));
        sql::exec(db, QStringLiteral("DROP TABLE data_layout1"));
        for (const QString& index : indexes)
            sql::exec(db, index);
    }
    // Books of the first layout made before the entry panel's lists had their indexes.
    sql::exec(db, QStringLiteral("CREATE INDEX IF NOT EXISTS data_b ON data(b)"));
    sql::exec(db, QStringLiteral("CREATE INDEX IF NOT EXISTS data_c ON data(c)"));
    sql::exec(db,
              QStringLiteral("CREATE TABLE IF NOT EXISTS bookinfo (name TEXT PRIMARY KEY, value "
                             "TEXT)"));
}

// 2 → 3: money received or paid later on a record, each on its own date (settlements), and an
// index of the records still open, made as a new book has them on either engine. The facts the
// journal and the month closing need (opening balance and its date, the month closed through)
// are rows of bookinfo, read as missing until they are set.
void settlements(QSqlDatabase& db)
{
    static const QRegularExpression create(QStringLiteral("^(create (table|index)) "),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression added(QStringLiteral("\\b(settlements|data_open)\\b"));
    for (QString statement : schema::tableStatements(db)) {
        if (!statement.contains(added))
            continue;
        statement.replace(create, QStringLiteral("\\1 if not exists "));
        sql::exec(db, statement);
    }
}

// 3 → 4: the change history (and the recycle bin read from it), numbered from its head row.
void historyKept(QSqlDatabase& db)
{
    history::createTable(db);
}

struct Step
{
    int from;
    void (*apply)(QSqlDatabase& db);
};

// One step per layout, in order. The tables of later layouts (imported bills) come as further
// steps.
const Step kSteps[] = {
    {1, keysNeverReused},
    {2, settlements},
    {3, historyKept},
};
static_assert(std::size(kSteps) + 1 == schema::kVersion, "one step per layout after the first");

} // namespace

int versionOf(QSqlDatabase& db)
{
    QString number;
    if (!sql::isServer(db)) {
        number = column(db, QStringLiteral("PRAGMA user_version")).value(0);
    } else if (column(db, QStringLiteral("select to_regclass('bookinfo') is not null"))
                   .value(0)
                   .startsWith(u't')) {
        number =
            column(db, QStringLiteral("select value from bookinfo where name='layout'")).value(0);
    }
    return std::max(1, number.toInt());
}

void setVersion(QSqlDatabase& db, int version)
{
    if (!sql::isServer(db)) {
        sql::exec(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
        return;
    }
    sql::exec(db,
              QStringLiteral("insert into bookinfo (name, value) values ('layout', ?) on conflict "
                             "(name) do update set value = excluded.value"),
              {QString::number(version)});
}

int upgrade(QSqlDatabase& db)
{
    sql::Transaction tx(db);
    // Of two copies starting at once, the second waits and then finds the work done.
    if (sql::isServer(db))
        sql::exec(db, QStringLiteral("lock table data in share row exclusive mode"));
    const int had = versionOf(db);
    if (had > schema::kVersion)
        throw NewerLayout(newerText(nameOf(db), had));
    if (had == schema::kVersion)
        return had;
    for (const Step& step : kSteps)
        if (step.from >= had)
            step.apply(db);
    setVersion(db, schema::kVersion);
    tx.commit();
    return had;
}

QString newerText(const QString& book, int version)
{
    return QStringLiteral("“%1”是更新版本的本程序写的账本（账本格式 %2，本程序只认得格式 %3 "
                          "及以前的），本程序不能使用它，它也没有被改动。请安装新版本的程序后"
                          "再使用它。")
        .arg(book)
        .arg(version)
        .arg(schema::kVersion);
}

} // namespace layout
