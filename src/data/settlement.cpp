#include "data/settlement.h"

#include "data/bookwriter.h"
#include "data/formats.h"
#include "data/history.h"
#include "data/money.h"
#include "data/schema.h"
#include "data/sql.h"

#include <QDate>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>
#include <optional>

namespace settlement {

namespace {

const QString kData = QStringLiteral("data");
const QString kSettlements = QStringLiteral("settlements");
const QString kExpense = QStringLiteral("支出");
constexpr qint64 kUnitsPerCent = money::kUnitsPerYuan / 100;

QVariant valueOf(const RowValues& row, const QString& column, bool* found = nullptr)
{
    for (const auto& [name, value] : row)
        if (name.compare(column, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return value;
        }
    if (found)
        *found = false;
    return {};
}

// As the database counts an amount (money::units): its millionths of a yuan, halves away.
qint64 unitsOf(const QVariant& amount)
{
    return amount.isNull() ? 0 : std::llround(amount.toDouble() * money::kUnitsPerYuan);
}

// A stored amount moved by whole cents. One on the cent grid stays there exactly (the double
// nearest the decimal), so 0.1 + 0.2 is stored as 0.3; any other moves as doubles do.
double movedBy(const QVariant& stored, qint64 units)
{
    const double value = stored.toDouble();
    const double cents = std::round(value * 100);
    if (std::fabs(cents) < 1e15 && cents / 100 == value)
        return (cents + static_cast<double>(units / kUnitsPerCent)) / 100;
    return value + static_cast<double>(units) / money::kUnitsPerYuan;
}

// When a settlement was written, as the login log's times but with a fixed clock form.
QString writtenAt(const QDateTime& now)
{
    return formats::dateText(now.date()) + u' ' + now.time().toString(QStringLiteral("HH:mm:ss"));
}

bool isDay(const QString& text)
{
    return text.size() == 10 && QDate::fromString(text, Qt::ISODate).isValid();
}

bool receiptKind(const QVariant& kind)
{
    return kind.toString() != kExpense;
}

QString sideName(bool receipt)
{
    return receipt ? QStringLiteral("收款") : QStringLiteral("付款");
}

// The row of table with key, every column but the key; on a server it stays locked until the
// transaction ends (SQLite's writer holds the whole book already).
std::optional<RowValues> rowOf(QSqlDatabase& db, const QString& table, qint64 key, bool lock)
{
    QString statement = QStringLiteral("select * from ") + table + QStringLiteral(" where id=?");
    if (lock && sql::isServer(db))
        statement += QStringLiteral(" for update");
    QSqlQuery q = sql::exec(db, statement, {key});
    if (!q.next())
        return std::nullopt;
    RowValues row;
    const QSqlRecord record = q.record();
    for (int c = 0; c < record.count(); ++c)
        if (record.fieldName(c).compare(QStringLiteral("id"), Qt::CaseInsensitive) != 0)
            row.append({record.fieldName(c), q.value(c)});
    return row;
}

Target targetOf(qint64 key, const RowValues& row)
{
    Target t;
    t.key = key;
    t.row = row;
    t.receipt = receiptKind(valueOf(row, QStringLiteral("a")));
    t.day = valueOf(row, QStringLiteral("day1")).toString();
    t.summary = valueOf(row, QStringLiteral("b")).toString();
    t.party = valueOf(row, QStringLiteral("c")).toString();
    const QStringList columns =
        t.receipt ? QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}
                  : QStringList{QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")};
    t.total = unitsOf(valueOf(row, columns[0]));
    t.done = unitsOf(valueOf(row, columns[1]));
    t.rest = unitsOf(valueOf(row, columns[2]));
    return t;
}

QList<Entry> entriesOf(QSqlDatabase& db, qint64 key)
{
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select id, day1, amount, username, note, written from "
                                           "settlements where record=? order by day1, id"),
                            {key});
    QList<Entry> entries;
    while (q.next())
        entries.append({q.value(0).toLongLong(), q.value(1).toString(), unitsOf(q.value(2)),
                        q.value(3).toString(), q.value(4).toString(), q.value(5).toString()});
    return entries;
}

bool sameRow(const RowValues& stored, const RowValues& opened)
{
    if (stored.size() != opened.size())
        return false;
    for (qsizetype i = 0; i < stored.size(); ++i)
        if (stored[i].first != opened[i].first || stored[i].second != opened[i].second)
            return false;
    return true;
}

// The record's received (paid) and rest moved by units: a settlement adds, a cancel takes back.
RowValues moved(const Target& t, const RowValues& row, qint64 units)
{
    const QString done = t.receipt ? QStringLiteral("2") : QStringLiteral("5");
    const QString rest = t.receipt ? QStringLiteral("3") : QStringLiteral("6");
    return {{done, movedBy(valueOf(row, done), units)},
            {rest, movedBy(valueOf(row, rest), -units)}};
}

} // namespace

Target read(QSqlDatabase& db, qint64 key)
{
    const std::optional<RowValues> row = rowOf(db, kData, key, false);
    if (!row)
        throw MissingRowError(QStringLiteral("这笔记录已不在账本中（可能已被别人删除）。"));
    Target t = targetOf(key, *row);
    t.entries = entriesOf(db, key);
    return t;
}

qint64 add(BookWriter& writer, const Target& opened, const QString& day, qint64 units,
           const QString& user, const QString& note, const QDateTime& now)
{
    const QString side = sideName(opened.receipt);
    if (units <= 0)
        throw Refused(side + QStringLiteral("金额必须大于0！"), Field::Amount);
    if (units % kUnitsPerCent != 0)
        throw Refused(QStringLiteral("金额最多只能有两位小数（金额以分为单位）！"), Field::Amount);
    if (!isDay(day))
        throw Refused(QStringLiteral("“%1”不是有效的日期！").arg(day), Field::Day);
    BookWriter::Batch batch(writer, side + QStringLiteral("登记"));
    QSqlDatabase db = writer.connection();
    const std::optional<RowValues> row = rowOf(db, kData, opened.key, true);
    if (!row)
        throw MissingRowError(
            QStringLiteral("这笔记录已不在账本中（可能已被别人删除），没有登记%1。").arg(side));
    // The record as the window showed it, or nothing: the operator decided on those figures.
    if (!sameRow(*row, opened.row))
        throw Refused(QStringLiteral("这笔记录在打开登记窗口以后已被修改（可能是别人改的），"
                                     "没有登记%1。窗口里已换成账本里现在的内容，请核对后再登记。")
                          .arg(side));
    const QString rest = opened.receipt ? QStringLiteral("应收账款") : QStringLiteral("应付账款");
    if (opened.rest <= 0)
        throw Refused(QStringLiteral("这笔记录已经没有%1，不需要%2登记。").arg(rest, side));
    if (units > opened.rest)
        throw Refused(
            QStringLiteral("%1金额不能超过%2 %3！").arg(side, rest, money::text(opened.rest)),
            Field::Amount);
    if (isDay(opened.day) && day < opened.day)
        throw Refused(QStringLiteral("%1日期不能早于这笔记录的日期 %2！").arg(side, opened.day),
                      Field::Day);
    // The record first: taken back in the reverse order, the settlement goes before the record's
    // received drops, as the rules of a record with settlements want.
    batch.modify(kData, opened.key, opened.row, moved(opened, *row, units));
    const qint64 id = batch.add(
        kSettlements, {{QStringLiteral("record"), opened.key},
                       {QStringLiteral("day1"), day},
                       {QStringLiteral("amount"), static_cast<double>(units / kUnitsPerCent) / 100},
                       {QStringLiteral("username"), user},
                       {QStringLiteral("note"), note},
                       {QStringLiteral("written"), writtenAt(now)}});
    batch.commit();
    return id;
}

void cancel(BookWriter& writer, qint64 id, const QString& user)
{
    if (!mayCancel(user))
        throw Refused(QStringLiteral("只有管理员（%1）才能撤销登记。")
                          .arg(QString::fromUtf16(schema::kAdministrator)));
    BookWriter::Batch batch(writer, QStringLiteral("撤销登记"));
    QSqlDatabase db = writer.connection();
    const std::optional<RowValues> entry = rowOf(db, kSettlements, id, true);
    if (!entry)
        throw MissingRowError(
            QStringLiteral("这笔登记已不在账本中（可能已被别人撤销），没有撤销。"));
    const qint64 key = valueOf(*entry, QStringLiteral("record")).toLongLong();
    const std::optional<RowValues> row = rowOf(db, kData, key, true);
    if (!row)
        throw Refused(QStringLiteral("这笔登记的记录已不在账本中，不能撤销。"));
    const Target t = targetOf(key, *row);
    batch.remove(kSettlements, id, *entry);
    batch.modify(kData, key, *row,
                 moved(t, *row, -unitsOf(valueOf(*entry, QStringLiteral("amount")))));
    batch.commit();
}

bool mayCancel(const QString& user)
{
    return history::isAdministrator(user);
}

void checkChange(QSqlDatabase& db, qint64 key, const RowValues& before, const RowValues& after)
{
    bool kind = false, day = false, received = false, paid = false;
    valueOf(after, QStringLiteral("a"), &kind);
    valueOf(after, QStringLiteral("day1"), &day);
    valueOf(after, QStringLiteral("2"), &received);
    valueOf(after, QStringLiteral("5"), &paid);
    if (!kind && !day && !received && !paid)
        return;
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select count(*), ") +
                                money::sumOf(money::units(QStringLiteral("amount"))) +
                                QStringLiteral(", min(day1) from settlements where record=?"),
                            {key});
    if (!q.next() || q.value(0).toLongLong() == 0)
        return;
    const qint64 count = q.value(0).toLongLong();
    const qint64 settled = q.value(1).toLongLong();
    const QString first = q.value(2).toString();
    q.finish();
    auto written = [&](const QString& column) {
        bool found = false;
        const QVariant value = valueOf(after, column, &found);
        return found ? value : valueOf(before, column);
    };
    const bool receipt = receiptKind(valueOf(before, QStringLiteral("a")));
    const QString side = sideName(receipt);
    if (receiptKind(written(QStringLiteral("a"))) != receipt)
        throw Refused(QStringLiteral("这笔记录已有 %1 笔%2登记，不能把收支类别改为“%3”。"
                                     "要改，请先撤销这些登记。")
                          .arg(count)
                          .arg(side, written(QStringLiteral("a")).toString()));
    const QString done = receipt ? QStringLiteral("已收金额") : QStringLiteral("已付金额");
    if (unitsOf(written(receipt ? QStringLiteral("2") : QStringLiteral("5"))) < settled)
        throw Refused(QStringLiteral("%1不能少于已登记的%2合计 %3（登记的%2已算在%1里）。"
                                     "要改少，请先撤销登记。")
                          .arg(done, side, money::text(settled)));
    const QString newDay = written(QStringLiteral("day1")).toString();
    if (isDay(newDay) && newDay > first)
        throw Refused(QStringLiteral("日期不能晚于这笔记录最早的%1登记日期 %2。").arg(side, first));
}

} // namespace settlement
