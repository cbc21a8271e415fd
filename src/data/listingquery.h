#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <optional>

// What the grid lists, as a value: a table with its hidden key, a filter with its bound values,
// and the column the rows are ordered by. Windows hand the data side one of these, never SQL;
// the statement is made from it (toSql) where it runs. A statement the program did not build
// (given as text to the cursor of the Windows program's style) is kept as it stands: nothing is
// known of its shape, so it is only ever read as a whole.
class ListingQuery
{
public:
    // The quick query's criteria, as the operator set them.
    struct Criteria
    {
        QString summary;                             // searched in b; empty: any
        QString counterparty;                        // searched in c; empty: any
        bool income = false;                         // only kinds containing 收入
        bool expense = false;                        // only kinds containing 支出
        std::optional<std::pair<QDate, QDate>> days; // both ends included
        bool operator==(const Criteria&) const = default;
    };

    ListingQuery() = default;
    // Every record of data, in date order: the base listing's start.
    static ListingQuery allRecords();
    // The records of today's calendar month, in date order.
    static ListingQuery month(const QDate& today);
    // The quick query: records marked o='1' that meet the criteria, in the book's own order.
    static ListingQuery quickSearch(const Criteria& criteria);
    // Every row of a table, in the book's own order; and none of them (only its columns).
    static ListingQuery wholeTable(const QString& table, const QString& key);
    static ListingQuery noRows(const QString& table, const QString& key);
    // A statement given as text: a listing of table's rows when it has that shape (select * from
    // table, a plain filter, one ordering column), otherwise kept as it stands.
    static ListingQuery fromStatement(const QString& statement, const QVariantList& values,
                                      const QString& table, const QString& key);

    // The statement in the local book's words, and as db's engine runs it.
    QString toSql() const;
    QString toSql(const QSqlDatabase& db) const;
    QVariantList values() const { return m_values; }
    // The same rows in no particular order: for sums, which no order changes.
    ListingQuery unordered() const;
    // The rows of this listing whose key is one given value: the key's value is bound last.
    QString oneRowSql() const;

    // A listing of one table's rows (false for a statement of another shape).
    bool listsOneTable() const { return !m_table.isEmpty(); }
    // Every row of the table, ordered by a column other than the key.
    bool isWholeTableOrdered() const;
    QString table() const { return m_table; }
    QString key() const { return m_key; }
    QString filter() const { return m_filter; }
    QString orderColumn() const { return m_order; }
    // The quick query's criteria, when this is one.
    const std::optional<Criteria>& criteria() const { return m_criteria; }
    bool descending() const { return m_descending; }
    bool isEmpty() const { return m_table.isEmpty() && m_statement.isEmpty(); }

    bool operator==(const ListingQuery&) const = default;

private:
    QString m_table;
    QString m_key;
    QString m_filter; // the where clause in the program's own words; values bound in order
    QVariantList m_values;
    QString m_order;
    bool m_descending = false;
    QString m_statement; // the text as given, when the value would word it otherwise
    std::optional<Criteria> m_criteria;
};
