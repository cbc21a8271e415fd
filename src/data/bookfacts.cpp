#include "data/bookfacts.h"

#include "data/errors.h"
#include "data/money.h"
#include "data/sql.h"

#include <QDate>
#include <QSqlQuery>

namespace bookfacts {

namespace {

QString fact(const char16_t* name)
{
    return QString::fromUtf16(name);
}

[[noreturn]] void unreadable(const QString& what, const QString& text)
{
    throw DatabaseError(
        QStringLiteral("账本中记下的%1“%2”无法识别，请由管理员重新设置。").arg(what, text));
}

} // namespace

QString value(QSqlDatabase& db, const QString& name)
{
    QSqlQuery q = sql::exec(db, QStringLiteral("select value from bookinfo where name=?"), {name});
    if (!q.next())
        return QString();
    const QString text = q.value(0).toString();
    return text.isNull() ? QStringLiteral("") : text;
}

Opening opening(QSqlDatabase& db)
{
    Opening o;
    const QString amount = value(db, fact(kOpeningBalance)).trimmed();
    const QString date = value(db, fact(kOpeningDate)).trimmed();
    if (!amount.isEmpty()) {
        if (!money::parse(amount, &o.units))
            unreadable(QStringLiteral("期初余额"), amount);
        o.set = true;
    }
    if (!date.isEmpty()) {
        if (!QDate::fromString(date, Qt::ISODate).isValid() || date.size() != 10)
            unreadable(QStringLiteral("期初余额的日期"), date);
        o.date = date;
    }
    return o;
}

QString closedThrough(QSqlDatabase& db)
{
    const QString month = value(db, fact(kClosedThrough)).trimmed();
    if (month.isEmpty())
        return QString();
    if (month.size() != 7 ||
        !QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate).isValid())
        unreadable(QStringLiteral("结账月份"), month);
    return month;
}

} // namespace bookfacts
