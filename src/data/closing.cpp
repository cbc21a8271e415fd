#include "data/closing.h"

#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/money.h"
#include "data/sql.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace closing {

namespace {

QString fact(const char16_t* name)
{
    return QString::fromUtf16(name);
}

QString monthText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM"));
}

QDate firstDay(const QString& month)
{
    return QDate::fromString(month + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
}

// True when a record or a settlement is dated before the first day of month.
bool anythingBefore(QSqlDatabase& db, const QString& month)
{
    const QString day = month + QStringLiteral("-01");
    for (const QString& table : {QStringLiteral("data"), QStringLiteral("settlements")}) {
        QSqlQuery q = sql::exec(db,
                                QStringLiteral("select 1 from ") + table +
                                    QStringLiteral(" where day1<? and day1<>'' limit 1"),
                                {day});
        if (q.next())
            return true;
    }
    return false;
}

} // namespace

QString monthOf(const QVariant& day)
{
    if (day.isNull())
        return {};
    QDate date;
    if (day.typeId() == QMetaType::QDate)
        date = day.toDate();
    else if (day.typeId() == QMetaType::QDateTime)
        date = day.toDateTime().date();
    else
        date = QDate::fromString(day.toString().left(10), QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? monthText(date) : QString();
}

QString refusal(const QString& month)
{
    return month + QStringLiteral(" 已结账，不能增加、修改或删除该月的记录。");
}

QString parseMonth(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = shape.match(text);
    const QDate date =
        m.hasMatch() ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), 1) : QDate();
    if (!date.isValid() || date.year() < 1900)
        throw ConversionError(
            QStringLiteral("结账月份“%1”不对，请按 年-月 输入，如 2024-03。").arg(text.trimmed()));
    return monthText(date);
}

QString previousMonth(const QString& month)
{
    return monthText(firstDay(month).addMonths(-1));
}

State read(QSqlDatabase& db)
{
    State s;
    s.closedThrough = bookfacts::closedThrough(db);
    s.opening = bookfacts::opening(db);
    return s;
}

void checkClosable(const QString& month, const QString& closed, const QDate& today)
{
    if (month > monthText(today))
        throw ClosedMonthError(QStringLiteral("%1 还没有到，不能结账：结账月份不能晚于本月（%2）。")
                                   .arg(month, monthText(today)));
    if (!closed.isEmpty() && month <= closed)
        throw ClosedMonthError(
            QStringLiteral("%1 已经结账（已结账至 %2），不用再结账。").arg(month, closed));
}

void close(BookWriter& writer, const QString& month, const QDate& today)
{
    const QString wanted = parseMonth(month);
    BookWriter::Batch batch(writer, QStringLiteral("月末结账"));
    batch.lockFacts();
    checkClosable(wanted, batch.closedThrough(), today);
    batch.setFact(fact(bookfacts::kClosedThrough), wanted);
    batch.commit();
}

QString reopen(BookWriter& writer)
{
    BookWriter::Batch batch(writer, QStringLiteral("反结账"));
    batch.lockFacts();
    const QString closed = batch.closedThrough();
    if (closed.isEmpty())
        throw ClosedMonthError(QStringLiteral("还没有结账的月份，不用反结账。"));
    QSqlDatabase db = writer.connection();
    // Months before the first record were closed only as a side effect: none stays closed.
    const QString before = previousMonth(closed);
    batch.setFact(fact(bookfacts::kClosedThrough), anythingBefore(db, closed) ? before : QString());
    batch.commit();
    return closed;
}

void setOpening(BookWriter& writer, const QString& amount, const QString& day)
{
    static const QRegularExpression cents(QStringLiteral("^\\s*-?\\d{1,12}(\\.\\d{0,2})?\\s*$"));
    const QString typed = amount.trimmed();
    if (typed.isEmpty())
        throw ConversionError(QStringLiteral("期初余额必须输入！"));
    qint64 units = 0;
    if (!cents.match(typed).hasMatch() || !money::parse(typed, &units))
        throw ConversionError(
            QStringLiteral("期初余额“%1”不对：只能是金额，整数部分最多12位，最多两位小数。")
                .arg(typed));
    const QString date = day.trimmed();
    if (date.size() != 10 || !QDate::fromString(date, QStringLiteral("yyyy-MM-dd")).isValid())
        throw ConversionError(
            QStringLiteral("期初余额的日期“%1”不对，请按 年-月-日 输入，如 2024-01-01。")
                .arg(date));
    BookWriter::Batch batch(writer, QStringLiteral("期初余额"));
    batch.lockFacts();
    const QString closed = batch.closedThrough();
    if (!closed.isEmpty())
        throw ClosedMonthError(
            QStringLiteral("已结账至 %1，不能修改期初余额（已结账月份的余额会随之改变）。"
                           "请先反结账。")
                .arg(closed));
    batch.setFact(fact(bookfacts::kOpeningBalance), money::text(units));
    batch.setFact(fact(bookfacts::kOpeningDate), date);
    batch.commit();
}

} // namespace closing
