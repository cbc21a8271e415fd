#include "data/rowconflict.h"

#include "data/errors.h"
#include "data/history.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <cmath>

namespace rowconflict {

namespace {

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

// A day read as a date, a date and time, or text in either form, all as text.
QString dayText(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().toString(Qt::ISODate);
    if (v.typeId() == QMetaType::QDateTime) {
        const QDateTime at = v.toDateTime();
        return at.time() == QTime(0, 0) ? at.date().toString(Qt::ISODate)
                                        : at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    QString text = v.toString();
    static const QRegularExpression stamp(QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d)[T ](.*)$"));
    const QRegularExpressionMatch m = stamp.match(text);
    if (m.hasMatch()) {
        const QString time = m.captured(2);
        if (time == u"00:00:00" || time == u"00:00:00.000" || time == u"00:00")
            return m.captured(1);
        return m.captured(1) + u' ' + time;
    }
    return text;
}

bool blank(const QVariant& v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

} // namespace

bool same(const QVariant& stored, const QVariant& opened)
{
    if (blank(stored) || blank(opened)) {
        const QVariant& other = blank(stored) ? opened : stored;
        return blank(other) || (isNumber(other) && other.toDouble() == 0);
    }
    if (isNumber(stored) || isNumber(opened)) {
        bool okStored = false;
        bool okOpened = false;
        const double a = stored.toDouble(&okStored);
        const double b = opened.toDouble(&okOpened);
        if (okStored && okOpened)
            return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)});
        return stored.toString() == opened.toString();
    }
    return dayText(stored) == dayText(opened);
}

QString firstDifference(const RowValues& stored, const RowValues& opened)
{
    for (const auto& [column, value] : opened)
        for (const auto& [name, held] : stored)
            if (name.compare(column, Qt::CaseInsensitive) == 0) {
                if (!same(held, value))
                    return name;
                break;
            }
    return {};
}

void check(const QString& table, const RowValues& stored, const RowValues& opened, Write write)
{
    if (firstDifference(stored, opened).isEmpty())
        return;
    const QString done =
        write == Write::Remove ? QStringLiteral("未作删除") : QStringLiteral("未作修改");
    throw ConflictError(QStringLiteral("该记录已被其他用户修改，%1。现在的内容：%2")
                            .arg(done, history::describe(table, stored)));
}

QString goneText(Write write)
{
    if (write == Write::Remove)
        return QStringLiteral("该记录已被其他用户删除，已不在账本中，未作删除。");
    return QStringLiteral("该记录已被其他用户删除，已不在账本中，未作修改。");
}

} // namespace rowconflict
