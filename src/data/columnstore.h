#pragma once

#include "data/moneysum.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <cmath>
#include <memory>
#include <vector>

enum class FieldType { Text, Float, Integer, Date, Memo };

struct FieldInfo
{
    QString name;
    FieldType type = FieldType::Text;
    QString displayLabel; // defaults to the name
    bool visible = true;
};

// The distinct texts of a column, stored end to end: a big book repeats few of its kinds,
// dates and names, and a QString per cell would cost more than the file itself.
struct TextPool
{
    std::vector<char16_t> chars;
    std::vector<quint32> starts{0}; // value i is chars[starts[i], starts[i + 1])
    quint32 add(QStringView text);
    quint32 add(QByteArrayView utf8);
    QStringView view(quint32 id) const
    {
        return QStringView(chars.data() + starts[id], starts[id + 1] - starts[id]);
    }
    quint32 size() const { return static_cast<quint32>(starts.size() - 1); }
};

// The rows of one reading, stored by column, each with its hidden key. Rows are numbered as
// they were added ("physical" rows); the order they are shown in is kept by whoever shows them.
// Knows nothing of statements or of the book.
class ColumnStore
{
public:
    struct Column
    {
        FieldInfo info;
        std::vector<quint32> textIds; // per row, into pool
        TextPool pool;
        std::vector<double> numbers;
        std::vector<qint64> integers;
        std::vector<bool> nulls;
        bool nonText = false; // a text column that also holds numbers or blobs
        bool isText() const
        {
            return info.type != FieldType::Float && info.type != FieldType::Integer;
        }
    };

    // A money column's figures over some rows: their exact sum and the amount of largest size.
    // A text stored among the numbers adds nothing.
    struct Totals
    {
        MoneySum sum;
        double largest = 0;
        void take(double amount)
        {
            sum.add(amount);
            if (std::fabs(amount) > std::fabs(largest) ||
                (std::fabs(amount) == std::fabs(largest) && amount < 0))
                largest = amount;
        }
    };

    class Appender;

    void addColumn(const FieldInfo& info);
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const Column& column(int index) const { return m_columns[static_cast<size_t>(index)]; }
    int columnIndex(const QString& name) const; // letter case aside; -1 when missing
    int rowCount() const { return static_cast<int>(m_keys.size()); }
    qint64 key(int row) const { return m_keys[static_cast<size_t>(row)]; }
    const std::vector<qint64>& keys() const { return m_keys; }

    QVariant cell(int row, int column) const;
    void setCell(int row, int column, const QVariant& value);
    int appendBlankRow(qint64 key = 0); // every cell null
    void clear();

    // Room for rows at once, so a big reading's columns are not copied as they grow; and
    // afterwards what was not used given back, keeping room for the rows added later.
    void reserve(size_t rows);
    void fitWithRoom();
    void permute(const std::vector<int>& order); // row i becomes order[i]
    // A store of the given rows, in that order: the same columns, texts and keys.
    ColumnStore selectRows(const std::vector<int>& rows) const;

    // Rows in the order an index on a text column holds them: (value, key), nulls first, the
    // texts compared as the book compares them. rowCount() rows, read in key order.
    std::vector<int> orderLikeIndex(int column, bool descending) const;
    // order sorted by one column, stably: nulls first ascending, texts by code unit.
    void sortBy(std::vector<int>& order, int column, bool descending) const;
    // As the book's index orders two rows: the column's value, then the key.
    int compareRows(int left, int right, int column) const;
    // The column's values alone: nulls first, texts as the book compares them.
    int compareValues(int left, int right, int column) const;

    Totals totals(int column, const std::vector<int>& rows) const;
    // What a row adds to its column's totals: false for a null or a text among the numbers.
    bool amountAt(int row, int column, double& amount) const;
    double sum(int column, const std::vector<int>& rows) const;

private:
    friend class Appender;
    std::vector<Column> m_columns;
    std::vector<qint64> m_keys; // hidden key per row (0 when none)
};

// Appends read rows: each text column keeps its distinct values once, and a column whose first
// rows are nearly all different stops looking values up and just appends them.
class ColumnStore::Appender
{
public:
    explicit Appender(ColumnStore& store);
    ~Appender();
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    FieldType type(size_t column) const { return m_store.m_columns[column].info.type; }
    // A row starts with its key; then one cell per column, in order.
    void beginRow(qint64 key) { m_store.m_keys.push_back(key); }
    void addNull(size_t column);
    void addNumber(size_t column, double value)
    {
        m_store.m_columns[column].nulls.push_back(false);
        m_store.m_columns[column].numbers.push_back(value);
    }
    void addInteger(size_t column, qint64 value)
    {
        m_store.m_columns[column].nulls.push_back(false);
        m_store.m_columns[column].integers.push_back(value);
    }
    void addText(size_t column, QByteArrayView utf8);
    void addText(size_t column, const QString& text); // as the server's driver gives it
    // A text stored in a number column ('abc' put into an amount by another program): kept as
    // it was stored (see numbertext.h).
    void addNumberText(size_t column, QByteArrayView utf8);
    // The column holds a number or a blob among its texts (SQLite orders those first).
    void markNonText(size_t column) { m_store.m_columns[column].nonText = true; }

private:
    class Interner;
    bool stopsInterning(size_t column);

    ColumnStore& m_store;
    std::vector<std::unique_ptr<Interner>> m_interners; // null once a column stops interning
};
