#include "data/legacy.h"

#include "data/errors.h"
#include "data/legacyreader.h"
#include "data/passwords.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <algorithm>

namespace legacy {

namespace {

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString dateText(const QDateTime& moment)
{
    return moment.date().toString(Qt::ISODate);
}

// Text columns take whatever the Access column held, in the book's own notation.
QVariant asText(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
        return numberText(v.toDouble());
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QDateTime: {
        const QDateTime moment = v.toDateTime();
        if (moment.time() == QTime(0, 0))
            return dateText(moment);
        return QString(dateText(moment) + u' ' + moment.time().toString(QStringLiteral("H:mm:ss")));
    }
    default:
        return v.toString();
    }
}

QVariant asDate(const QVariant& v, const QString& column)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDateTime)
        return dateText(v.toDateTime());
    const QString text = v.toString().trimmed();
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!day.isValid())
        throw QuenvaleError(QStringLiteral("表 data 的列 %1 中“%2”不是日期。").arg(column, text));
    return day.toString(Qt::ISODate);
}

QVariant asNumber(const QVariant& v, const QString& column)
{
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Double:
        return v;
    case QMetaType::LongLong:
        return double(v.toLongLong());
    case QMetaType::Bool:
        return v.toBool() ? 1.0 : 0.0;
    default: {
        const QString text = v.toString().trimmed();
        bool ok = false;
        const double value = QLocale::c().toDouble(text, &ok);
        if (!ok)
            throw QuenvaleError(
                QStringLiteral("表 data 的列 %1 中“%2”不是数字。").arg(column, text));
        return value;
    }
    }
}

QList<int> requireColumns(const AccessTable& table, const QString& name, const QStringList& wanted)
{
    QList<int> positions;
    for (const QString& column : wanted) {
        const int at = table.column(column);
        if (at < 0)
            throw QuenvaleError(QStringLiteral("表 %1 缺少列 %2。").arg(name, column));
        positions << at;
    }
    return positions;
}

// One statement prepared once and run per row.
class Inserter
{
public:
    Inserter(QSqlDatabase& db, const QString& statement) : m_query(db)
    {
        if (!m_query.prepare(statement))
            throw DatabaseError(m_query.lastError().text());
    }
    void run(const QVariantList& values)
    {
        for (qsizetype i = 0; i < values.size(); ++i)
            m_query.bindValue(static_cast<int>(i), values.at(i));
        if (!m_query.exec())
            throw DatabaseError(m_query.lastError().text());
    }

private:
    QSqlQuery m_query;
};

void writeRecords(QSqlDatabase& db, const AccessTable& data)
{
    const QStringList columns = schema::dataColumns();
    const QList<int> at = requireColumns(data, QStringLiteral("data"), columns);
    const int idAt = data.column(QStringLiteral("id"));
    QList<const QVariantList*> rows;
    rows.reserve(data.rows.size());
    for (const QVariantList& row : data.rows)
        rows << &row;
    // Keys keep their order; a table without them keeps the order of its pages.
    const bool keyed = idAt >= 0 && std::all_of(rows.cbegin(), rows.cend(), [&](const auto* r) {
                           return r->at(idAt).typeId() == QMetaType::LongLong;
                       });
    if (keyed)
        std::stable_sort(rows.begin(), rows.end(), [&](const auto* x, const auto* y) {
            return x->at(idAt).toLongLong() < y->at(idAt).toLongLong();
        });

    Inserter insert(db, QStringLiteral("insert into data (id,a,day1,b,c,\"1\",\"2\",\"3\",\"4\","
                                       "\"5\",\"6\",o) values (?,?,?,?,?,?,?,?,?,?,?,?)"));
    for (const QVariantList* row : rows) {
        QVariantList values;
        values << (keyed ? row->at(idAt) : QVariant());
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const QString& column = columns.at(i);
            const QVariant& v = row->at(at.at(i));
            if (column == u"day1")
                values << asDate(v, column);
            else if (column.size() == 1 && column.at(0).isDigit())
                values << asNumber(v, column);
            else
                values << asText(v);
        }
        insert.run(values);
    }
}

void writeUsers(QSqlDatabase& db, const AccessTable& users)
{
    const QList<int> at = requireColumns(users, QStringLiteral("userdb"),
                                         {QStringLiteral("username"), QStringLiteral("passwd")});
    Inserter insert(db, QStringLiteral("insert into userdb (username, passwd) values (?, ?)"));
    QSet<QString> seen;
    for (const QVariantList& row : users.rows) {
        const QVariant name = asText(row.at(at[0]));
        // Access lets a name occur twice; such a user could not log in there either, and
        // which row to keep is the operator's call.
        if (name.isNull() || name.toString().isEmpty())
            throw QuenvaleError(QStringLiteral("表 userdb 中有一个用户没有用户名。"));
        const QString folded = name.toString().toCaseFolded();
        if (seen.contains(folded))
            throw QuenvaleError(
                QStringLiteral("表 userdb 中用户名“%1”出现了不止一次。").arg(name.toString()));
        seen.insert(folded);
        const QVariant typed = asText(row.at(at[1]));
        // A missing password matches no typed one, in Access as here.
        insert.run(
            {name, typed.isNull() ? QVariant() : QVariant(passwords::hash(typed.toString()))});
    }
}

void writeLogins(QSqlDatabase& db, const AccessTable& logins)
{
    const QList<int> at = requireColumns(
        logins, QStringLiteral("rz"),
        {QStringLiteral("username"), QStringLiteral("btime"), QStringLiteral("jtime")});
    const int idAt = logins.column(QStringLiteral("id"));
    Inserter insert(db,
                    QStringLiteral("insert into rz (id, username, btime, jtime) values (?,?,?,?)"));
    for (const QVariantList& row : logins.rows) {
        const QVariant id =
            idAt >= 0 && row.at(idAt).typeId() == QMetaType::LongLong ? row.at(idAt) : QVariant();
        insert.run({id, asText(row.at(at[0])), asText(row.at(at[1])), asText(row.at(at[2]))});
    }
}

} // namespace

bool isAccessBook(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(19);
    return header.size() == 19 && header.mid(4, 15) == "Standard Jet DB";
}

QString keptName(const QString& path)
{
    QString name = path + QStringLiteral(".access");
    for (int n = 1; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = path + QStringLiteral(".access.") + QString::number(n);
    return name;
}

Counts convertBook(const QString& path)
{
    AccessTable data;
    AccessTable users;
    AccessTable logins;
    {
        AccessFile file(path);
        data = file.read(QStringLiteral("data"));
        users = file.read(QStringLiteral("userdb"));
        logins = file.read(QStringLiteral("rz"));
    }

    const QFileInfo original(path);
    QTemporaryFile temporary(original.absolutePath() + u'/' + original.fileName() +
                             QStringLiteral(".converting-XXXXXX"));
    if (!temporary.open())
        throw QuenvaleError(QStringLiteral("无法在 %1 中写入新文件：%2")
                                .arg(original.absolutePath(), temporary.errorString()));
    temporary.close();
    const QString written = temporary.fileName();
    const auto journal = qScopeGuard([&] { QFile::remove(written + QStringLiteral("-journal")); });
    {
        sql::ScopedConnection conn(written);
        QSqlDatabase& db = conn.db();
        sql::Transaction tx(db);
        schema::createTables(db);
        writeRecords(db, data);
        writeUsers(db, users);
        writeLogins(db, logins);
        tx.commit();
    }
    // Both books, the new one and the original kept beside it, are for their owner only.
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QFile::setPermissions(written, ownerOnly);

    const QString kept = keptName(path);
    if (!QFile::rename(path, kept))
        throw QuenvaleError(QStringLiteral("无法将 %1 改名为 %2。").arg(path, kept));
    QFile::setPermissions(kept, ownerOnly);
    if (!QFile::rename(written, path)) {
        QFile::rename(kept, path);
        throw QuenvaleError(QStringLiteral("无法将新文件改名为 %1。").arg(path));
    }
    temporary.setAutoRemove(false);
    return {static_cast<int>(data.rows.size()), static_cast<int>(users.rows.size()),
            static_cast<int>(logins.rows.size())};
}

} // namespace legacy
