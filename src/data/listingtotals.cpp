#include "data/listingtotals.h"

#include "data/errors.h"
#include "data/sql.h"
#include "data/sqlitehandle.h"

#include <QSqlQuery>

#include <sqlite3.h>

#include <memory>
#include <new>
#include <type_traits>

namespace {

// A local book's figures of a column, worked out as a reading works them out: the exact sum
// and the largest amount, as a text "sum;largest" (the sum a plain number once inexact).
using Totals = ListingTotals::Totals;
struct Amounts
{
    bool begun; // SQLite hands out zeroed memory
    Totals totals;
};
static_assert(std::is_trivially_destructible_v<Totals>);

// SQLite's memory is aligned for 8 bytes; a MoneySum holds a 16-byte integer.
Amounts* amountsOf(sqlite3_context* context, bool make)
{
    constexpr int kRoom = sizeof(Amounts) + alignof(Amounts);
    void* memory = sqlite3_aggregate_context(context, make ? kRoom : 0);
    if (!memory)
        return nullptr;
    std::size_t room = kRoom;
    return static_cast<Amounts*>(std::align(alignof(Amounts), sizeof(Amounts), memory, room));
}

void addAmount(sqlite3_context* context, int, sqlite3_value** values)
{
    Amounts* amounts = amountsOf(context, true);
    if (!amounts)
        return sqlite3_result_error_nomem(context);
    if (!amounts->begun) {
        new (&amounts->totals) Totals;
        amounts->begun = true;
    }
    // Texts and blobs among the amounts count for nothing, as in a reading.
    const int type = sqlite3_value_type(values[0]);
    if (type == SQLITE_FLOAT || type == SQLITE_INTEGER)
        amounts->totals.take(sqlite3_value_double(values[0]));
}

void endAmounts(sqlite3_context* context)
{
    const Amounts* amounts = amountsOf(context, false);
    const Totals totals = amounts && amounts->begun ? amounts->totals : Totals();
    const QByteArray text =
        (totals.sum.isExact() ? totals.sum.exactText() : totals.sum.general()).toLatin1() + ';' +
        QByteArray::number(totals.largest, 'g', 17);
    sqlite3_result_text(context, text.constData(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

constexpr char kMoneyTotal[] = "quenvale_money_total";

MoneySum sumFrom(const QVariant& value)
{
    MoneySum sum;
    if (value.isNull())
        return sum;
    if (value.typeId() == QMetaType::QString && MoneySum::fromText(value.toString(), &sum))
        return sum;
    sum.add(value.toDouble()); // NaN, an infinity, or a sum past 38 digits
    return sum;
}

// The amount of largest size, a negative one among equals, as Totals::take picks it.
double largestOf(const QVariant& least, const QVariant& most)
{
    const double l = least.toDouble();
    const double m = most.toDouble();
    return std::fabs(l) > std::fabs(m) || (std::fabs(l) == std::fabs(m) && l < 0) ? l : m;
}

QSqlQuery figuresOf(QSqlDatabase& db, const ListingQuery& query, const QString& figures)
{
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select ") + figures + QStringLiteral(" from (") +
                                query.unordered().toSql() + QStringLiteral(") q"),
                            query.values());
    if (!q.next())
        throw DatabaseError(QStringLiteral("No figures"));
    return q;
}

QString cellOf(const QString& column)
{
    return QStringLiteral("q.") + sql::quoted(column);
}

// On the server, amounts of whole cents (nearly all) are added as whole numbers of cents in
// floating point, exact while no partial sum passes 2^53, and counted apart when they are not
// cents: about a third of the time of adding them all as decimals.
std::vector<ListingTotals::Totals> serverFigures(QSqlDatabase& db, const ListingQuery& query,
                                                 const QStringList& columns)
{
    QString figures = QStringLiteral("count(*)");
    for (const QString& column : columns)
        figures += QStringLiteral(",sum(round(%1*100)),count(*) filter (where "
                                  "round(%1*100)/100<>%1),min(%1),max(%1)")
                       .arg(cellOf(column));
    QSqlQuery q = figuresOf(db, query, figures);
    const double rows = q.value(0).toDouble();
    std::vector<ListingTotals::Totals> all(static_cast<size_t>(columns.size()));
    QString decimals;
    std::vector<size_t> inDecimals;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        ListingTotals::Totals& t = all[static_cast<size_t>(i)];
        const int at = 1 + 4 * static_cast<int>(i);
        t.largest = largestOf(q.value(at + 2), q.value(at + 3));
        const double cents = q.value(at).toDouble();
        const double bound =
            std::max(std::fabs(q.value(at + 2).toDouble()), std::fabs(q.value(at + 3).toDouble())) *
            100 * rows;
        if (q.value(at + 1).toLongLong() == 0 && std::isfinite(cents) && bound < 0x1p53) {
            t.sum = MoneySum::ofCents(static_cast<qint64>(cents));
            continue;
        }
        if (!decimals.isEmpty())
            decimals += u',';
        decimals +=
            QStringLiteral("cast(sum(cast(%1 as numeric)) as text)").arg(cellOf(columns[i]));
        inDecimals.push_back(static_cast<size_t>(i));
    }
    if (!inDecimals.empty()) {
        QSqlQuery exact = figuresOf(db, query, decimals);
        for (size_t i = 0; i < inDecimals.size(); ++i)
            all[inDecimals[i]].sum = sumFrom(exact.value(static_cast<int>(i)));
    }
    return all;
}

} // namespace

ListingTotals::Totals ListingTotals::get(const ColumnStore& store, int column,
                                         const std::vector<int>& rows, quint64 version)
{
    if (version != m_version) {
        m_columns.clear();
        m_version = version;
    }
    m_columns.resize(static_cast<size_t>(store.columnCount()));
    std::optional<Totals>& kept = m_columns[static_cast<size_t>(column)];
    if (!kept)
        kept = store.totals(column, rows);
    return *kept;
}

void ListingTotals::leave(const ColumnStore& store, int row)
{
    double amount = 0;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        std::optional<Totals>& kept = m_columns[c];
        if (!kept || !store.amountAt(row, static_cast<int>(c), amount))
            continue;
        // The largest figure going: which is the next largest is not known here.
        if (std::fabs(amount) >= std::fabs(kept->largest)) {
            kept.reset();
            continue;
        }
        MoneySum one;
        one.add(amount);
        kept->sum -= one;
        if (!kept->sum.isExact())
            kept.reset(); // a plain sum of doubles depends on the order it was added in
    }
}

void ListingTotals::join(const ColumnStore& store, int row)
{
    double amount = 0;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        std::optional<Totals>& kept = m_columns[c];
        if (!kept || !store.amountAt(row, static_cast<int>(c), amount))
            continue;
        kept->take(amount);
        if (!kept->sum.isExact())
            kept.reset();
    }
}

void ListingTotals::move(const ColumnStore& store, const std::vector<int>& before,
                         const std::vector<int>& after, int firstNew)
{
    if (m_columns.empty())
        return;
    std::vector<char> stays(static_cast<size_t>(store.rowCount()), 0);
    for (int row : after)
        stays[static_cast<size_t>(row)] = 1;
    for (int row : before)
        if (!stays[static_cast<size_t>(row)])
            leave(store, row);
    for (int row : after)
        if (row >= firstNew)
            join(store, row);
}

void ListingTotals::advance(quint64 from, quint64 to)
{
    if (m_version == from)
        m_version = to;
    else
        m_columns.clear();
}

bool ListingTotals::knows(int column, quint64 version) const
{
    return version == m_version && static_cast<size_t>(column) < m_columns.size() &&
           m_columns[static_cast<size_t>(column)].has_value();
}

void ListingTotals::keep(int column, const Totals& totals, quint64 version)
{
    if (version != m_version) {
        m_columns.clear();
        m_version = version;
    }
    if (static_cast<size_t>(column) >= m_columns.size())
        m_columns.resize(static_cast<size_t>(column) + 1);
    m_columns[static_cast<size_t>(column)] = totals;
}

std::vector<ListingTotals::Totals>
ListingTotals::ofStatement(QSqlDatabase db, const ListingQuery& query, const QStringList& columns)
{
    if (sql::isServer(db))
        return serverFigures(db, query, columns);
    sqlite3* handle = sqlite::handleOf(db);
    if (!handle)
        throw DatabaseError(QStringLiteral("Connection is closed"));
    // Registered on every use: a connection opened since has none.
    sqlite3_create_function_v2(handle, kMoneyTotal, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               nullptr, addAmount, endAmounts, nullptr);
    QString figures;
    for (const QString& column : columns)
        figures += (figures.isEmpty() ? QString() : QStringLiteral(",")) +
                   QLatin1String(kMoneyTotal) + u'(' + cellOf(column) + u')';
    QSqlQuery q = figuresOf(db, query, figures);
    std::vector<Totals> all;
    for (int i = 0; i < columns.size(); ++i) {
        const QString text = q.value(i).toString();
        Totals t;
        t.sum = sumFrom(text.section(u';', 0, 0));
        t.largest = text.section(u';', 1).toDouble();
        all.push_back(t);
    }
    return all;
}
