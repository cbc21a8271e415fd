#include "data/quicksearch.h"

#include "data/sql.h"

#include <algorithm>
#include <functional>

namespace quicksearch {

namespace {

char16_t asciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// Both engines fold the case of ASCII letters in a search; SQLite no other. A pattern with any
// other letter that has a case is left to the statement.
bool foldsAlike(const QString& pattern)
{
    for (QChar c : pattern)
        if (c.unicode() > 127 && (c.toLower() != c || c.toUpper() != c))
            return false;
    return true;
}

bool containsFolded(QStringView text, QStringView pattern)
{
    if (pattern.size() > text.size())
        return false;
    for (qsizetype at = 0; at + pattern.size() <= text.size(); ++at) {
        qsizetype i = 0;
        while (i < pattern.size() &&
               asciiLower(text[at + i].unicode()) == asciiLower(pattern[i].unicode()))
            ++i;
        if (i == pattern.size())
            return true;
    }
    return false;
}

// A condition on one text column, answered once per distinct text.
struct Condition
{
    const ColumnStore::Column* column;
    std::vector<char> matches; // per text id
};

bool addCondition(std::vector<Condition>& conditions, const ColumnStore& store, const QString& name,
                  const std::function<bool(QStringView)>& test)
{
    const int index = store.columnIndex(name);
    if (index < 0)
        return false;
    const ColumnStore::Column& column = store.column(index);
    // Numbers stored among the texts are matched by the engine as it writes them.
    if (!column.isText() || column.nonText || column.info.type == FieldType::Memo)
        return false;
    Condition c{&column, std::vector<char>(column.pool.size())};
    for (quint32 id = 0; id < column.pool.size(); ++id)
        c.matches[id] = test(column.pool.view(id)) ? 1 : 0;
    conditions.push_back(std::move(c));
    return true;
}

} // namespace

std::optional<Listing::Reading> fromWhole(const Listing::Reading& whole, const ListingQuery& search,
                                          const ChangeStamp& now)
{
    const std::optional<ListingQuery::Criteria>& criteria = search.criteria();
    if (!criteria || now.connection == 0 || whole.stamp != now || !whole.hasKey ||
        !whole.query.isWholeTableOrdered() || whole.query.table() != search.table() ||
        !foldsAlike(criteria->summary) || !foldsAlike(criteria->counterparty))
        return std::nullopt;
    // A day range may walk the date's index and give another order: the statement says.
    if (criteria->days)
        return std::nullopt;
    const ColumnStore& store = whole.store;
    std::vector<Condition> conditions;
    auto contains = [](const QString& pattern) {
        return [pattern](QStringView text) { return containsFolded(text, pattern); };
    };
    bool matchable = addCondition(conditions, store, QStringLiteral("o"),
                                  [](QStringView text) { return text == u"1"; });
    if (!criteria->summary.isEmpty())
        matchable = matchable && addCondition(conditions, store, QStringLiteral("b"),
                                              contains(criteria->summary));
    if (!criteria->counterparty.isEmpty())
        matchable = matchable && addCondition(conditions, store, QStringLiteral("c"),
                                              contains(criteria->counterparty));
    if (criteria->income)
        matchable = matchable && addCondition(conditions, store, QStringLiteral("a"),
                                              contains(QStringLiteral("收入")));
    if (criteria->expense)
        matchable = matchable && addCondition(conditions, store, QStringLiteral("a"),
                                              contains(QStringLiteral("支出")));
    if (!matchable)
        return std::nullopt;

    // The rows matched, then put in key order: a few thousand sorted, not the whole reading.
    std::vector<int> rows;
    for (int row : whole.sqlOrder) {
        const size_t r = static_cast<size_t>(row);
        bool all = true;
        for (const Condition& c : conditions)
            if (c.column->nulls[r] || !c.matches[c.column->textIds[r]]) {
                all = false;
                break;
            }
        if (all)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end(),
              [&store](int l, int r) { return store.key(l) < store.key(r); });
    Listing::Reading found;
    found.store = store.selectRows(rows);
    found.query = search;
    found.stamp = whole.stamp;
    found.hasKey = true;
    found.sqlOrder.resize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        found.sqlOrder[i] = static_cast<int>(i);
    return found;
}

} // namespace quicksearch
