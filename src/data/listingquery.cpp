#include "data/listingquery.h"

#include "data/formats.h"
#include "data/sql.h"

#include <QRegularExpression>

namespace {

const QString kData = QStringLiteral("data");
const QString kId = QStringLiteral("id");
const QString kDay = QStringLiteral("day1");

// select * from one table, an optional filter without subqueries, an optional ordering column.
const QRegularExpression kOneTable(
    QStringLiteral(R"re(^\s*select\s+\*\s+from\s+"?(\w+)"?(?:\s+where\s+(.*?))?)re"
                   R"re((?:\s+order\s+by\s+"?(\w+)"?(?:\s+(asc|desc))?)?\s*$)re"),
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
const QRegularExpression kNested(QStringLiteral(R"(\b(select|join|from|union|order|limit)\b)"),
                                 QRegularExpression::CaseInsensitiveOption);

} // namespace

ListingQuery ListingQuery::allRecords()
{
    ListingQuery q;
    q.m_table = kData;
    q.m_key = kId;
    q.m_order = kDay;
    return q;
}

ListingQuery ListingQuery::month(const QDate& today)
{
    const QDate first(today.year(), today.month(), 1);
    const QDate last = first.addMonths(1).addDays(-1);
    ListingQuery q = allRecords();
    // Dates come from the clock, never from typed text; the base query shows them as written.
    q.m_filter = QStringLiteral("day1>='%1' and day1<='%2'")
                     .arg(formats::dateText(first), formats::dateText(last));
    return q;
}

ListingQuery ListingQuery::quickSearch(const Criteria& criteria)
{
    ListingQuery q;
    q.m_table = kData;
    q.m_key = kId;
    q.m_filter = QStringLiteral("o='1'");
    if (!criteria.summary.isEmpty()) {
        q.m_filter += QStringLiteral(" and b like ? escape '\\'");
        q.m_values << sql::likeContains(criteria.summary);
    }
    if (!criteria.counterparty.isEmpty()) {
        q.m_filter += QStringLiteral(" and c like ? escape '\\'");
        q.m_values << sql::likeContains(criteria.counterparty);
    }
    if (criteria.income)
        q.m_filter += QStringLiteral(" and a like '%收入%'");
    if (criteria.expense)
        q.m_filter += QStringLiteral(" and a like '%支出%'");
    if (criteria.days) {
        q.m_filter += QStringLiteral(" and day1>=? and day1<=?");
        q.m_values << formats::dateText(criteria.days->first)
                   << formats::dateText(criteria.days->second);
    }
    return q;
}

ListingQuery ListingQuery::wholeTable(const QString& table, const QString& key)
{
    ListingQuery q;
    q.m_table = table;
    q.m_key = key;
    return q;
}

ListingQuery ListingQuery::noRows(const QString& table, const QString& key)
{
    ListingQuery q = wholeTable(table, key);
    q.m_filter = QStringLiteral("1=0");
    return q;
}

ListingQuery ListingQuery::fromStatement(const QString& statement, const QVariantList& values,
                                         const QString& table, const QString& key)
{
    ListingQuery q;
    q.m_values = values;
    const QRegularExpressionMatch shape = kOneTable.match(statement);
    if (!table.isEmpty() && shape.hasMatch() &&
        shape.captured(1).compare(table, Qt::CaseInsensitive) == 0 &&
        !kNested.match(shape.captured(2)).hasMatch()) {
        q.m_table = table;
        q.m_key = key;
        q.m_filter = shape.captured(2);
        q.m_order = shape.captured(3);
        q.m_descending =
            shape.captured(4).compare(QStringLiteral("desc"), Qt::CaseInsensitive) == 0;
    }
    // The text runs as it was given unless the value says it in the same words.
    if (q.toSql() != statement)
        q.m_statement = statement;
    return q;
}

QString ListingQuery::toSql() const
{
    if (!m_statement.isEmpty())
        return m_statement;
    QString text = QStringLiteral("select * from ") + sql::name(m_table);
    if (!m_filter.isEmpty())
        text += QStringLiteral(" where ") + m_filter;
    if (!m_order.isEmpty())
        text += QStringLiteral(" order by ") + sql::name(m_order) +
                (m_descending ? QStringLiteral(" desc") : QString());
    return text;
}

QString ListingQuery::toSql(const QSqlDatabase& db) const
{
    return sql::dialect(db, toSql());
}

ListingQuery ListingQuery::unordered() const
{
    if (!listsOneTable())
        return *this;
    ListingQuery q = *this;
    q.m_order.clear();
    q.m_descending = false;
    q.m_statement.clear();
    return q;
}

QString ListingQuery::oneRowSql() const
{
    return QStringLiteral("select * from ") + sql::quoted(m_table) + QStringLiteral(" where ") +
           (m_filter.isEmpty() ? QStringLiteral("1=1") : u'(' + m_filter + u')') +
           QStringLiteral(" and ") + sql::quoted(m_key) + QStringLiteral("=?");
}

bool ListingQuery::isWholeTableOrdered() const
{
    return listsOneTable() && m_filter.isEmpty() && m_values.isEmpty() && !m_order.isEmpty() &&
           !m_key.isEmpty() && m_order.compare(m_key, Qt::CaseInsensitive) != 0;
}
