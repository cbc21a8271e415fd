#pragma once

#include "data/cashrecord.h"
#include "data/listing.h"

#include <QVariant>

#include <optional>

// A listing with a current record, walked the way the Windows program's datasets were: first,
// next, last, values by field name, bookmarks. The fields can be reordered, relabelled and
// hidden; a new reading starts from the statement's fields again. A call that needs a row not
// yet read (of a listing being filled in) has the rest read first, so these are not const.
class RecordCursor : public Listing
{
    Q_OBJECT

public:
    using Bookmark = qint64; // the row's place in the reading, stable across sorts
    using Totals = ColumnStore::Totals;

    explicit RecordCursor(QObject* parent = nullptr);

    // Navigation. recNo() is 1-based, 0 when empty.
    int recNo() const { return isEmpty() ? 0 : current() + 1; }
    bool isEmpty() const { return order().empty(); }
    bool eof() const { return atEnd(); }
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int position); // 0-based position in the current order

    // Fields in their current order.
    int fieldCount() const { return static_cast<int>(m_fieldOrder.size()); }
    const FieldInfo& field(int index) const;
    int fieldIndex(const QString& name) const; // -1 when missing
    bool hasField(const QString& name) const { return fieldIndex(name) >= 0; }
    void moveField(const QString& name, int position);
    void setDisplayLabel(const QString& name, const QString& label);
    void setFieldVisible(const QString& name, bool visible);

    // Values of the current row (or of the edit buffer while editing).
    QVariant value(const QString& name);
    QVariant value(int fieldIndex);
    QString text(const QString& name); // null reads as empty text
    int asInteger(const QString& name);
    bool isNull(const QString& name);
    // Values by position in the current order, for views. The const forms give what is held:
    // a row not yet read is blank.
    QVariant valueAt(int position, int fieldIndex);
    QVariant valueAt(int position, const QString& name);
    QVariant valueAt(int position, int fieldIndex) const;
    QVariant valueAt(int position, const QString& name) const;
    // The current row's columns and values, as read.
    RowValues rowValues();

    // The hidden key of the current row, and a way back to a row by its key. keyAt gives what is
    // held at a position (0 for a row not yet read).
    qint64 key();
    qint64 keyAt(int position) const;
    bool locateKey(qint64 key);

    Bookmark bookmark();
    bool bookmarkValid(Bookmark bookmark);
    void gotoBookmark(Bookmark bookmark);

    // Sum of a numeric field over all rows, and a money column's figures (see Totals).
    double sum(const QString& name);
    Totals totals(int fieldIndex);
    std::vector<Totals> totals(const std::vector<int>& fieldIndexes);
    // A field's figures when they are already worked out for the rows as they are now (nothing
    // is read or asked of the book): while a listing is filled in, once someone asked.
    bool knownTotals(int fieldIndex, Totals* totals) const;

protected:
    void readingReplaced() override;
    void requireRecord() const;
    int physicalColumn(const QString& name) const; // throws when missing
    // While a row is being edited, its cells come from the edit buffer.
    virtual std::optional<QVariant> bufferedValue(int column) const;

private:
    std::vector<FieldInfo> m_fields; // per column of the reading
    std::vector<int> m_fieldOrder;   // visible order of the columns
};
