#include "data/recordcursor.h"

#include "data/errors.h"
#include "data/formats.h"

#include <algorithm>

RecordCursor::RecordCursor(QObject* parent) : Listing(parent) {}

void RecordCursor::readingReplaced()
{
    const ColumnStore& store = reading().store;
    m_fields.clear();
    m_fieldOrder.clear();
    for (int c = 0; c < store.columnCount(); ++c) {
        m_fields.push_back(store.column(c).info);
        m_fieldOrder.push_back(c);
    }
}

void RecordCursor::requireRecord() const
{
    requireOpen(*this);
    if (order().empty())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
}

std::optional<QVariant> RecordCursor::bufferedValue(int) const
{
    return std::nullopt;
}

void RecordCursor::first()
{
    requireOpen(*this);
    finishFilling();
    setCurrent(0, order().empty());
}

void RecordCursor::next()
{
    requireOpen(*this);
    if (current() + 1 < static_cast<int>(order().size()))
        setCurrent(current() + 1, atEnd());
    else
        setCurrent(current(), true);
}

void RecordCursor::prior()
{
    requireOpen(*this);
    if (isUnread(current() - 1))
        finishFilling();
    setCurrent(std::max(0, current() - 1), order().empty());
}

void RecordCursor::last()
{
    requireOpen(*this);
    setCurrent(order().empty() ? 0 : static_cast<int>(order().size()) - 1, order().empty());
}

void RecordCursor::moveTo(int position)
{
    requireOpen(*this);
    if (position < 0 || position >= static_cast<int>(order().size()))
        return;
    if (isUnread(position))
        finishFilling();
    setCurrent(position, false);
}

const FieldInfo& RecordCursor::field(int index) const
{
    return m_fields[static_cast<size_t>(m_fieldOrder.at(static_cast<size_t>(index)))];
}

int RecordCursor::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < m_fieldOrder.size(); ++i)
        if (m_fields[static_cast<size_t>(m_fieldOrder[i])].name.compare(name,
                                                                        Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

int RecordCursor::physicalColumn(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    return m_fieldOrder[static_cast<size_t>(index)];
}

void RecordCursor::moveField(const QString& name, int position)
{
    const int from = fieldIndex(name);
    if (from < 0)
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    const int physical = m_fieldOrder[static_cast<size_t>(from)];
    m_fieldOrder.erase(m_fieldOrder.begin() + from);
    position = std::clamp(position, 0, static_cast<int>(m_fieldOrder.size()));
    m_fieldOrder.insert(m_fieldOrder.begin() + position, physical);
}

void RecordCursor::setDisplayLabel(const QString& name, const QString& label)
{
    m_fields[static_cast<size_t>(physicalColumn(name))].displayLabel = label;
}

void RecordCursor::setFieldVisible(const QString& name, bool visible)
{
    m_fields[static_cast<size_t>(physicalColumn(name))].visible = visible;
}

QVariant RecordCursor::value(const QString& name)
{
    requireOpen(*this);
    physicalColumn(name); // throws with the field's name when it is missing
    return value(fieldIndex(name));
}

QVariant RecordCursor::value(int index)
{
    requireOpen(*this);
    if (index < 0 || index >= fieldCount())
        throw DatabaseError(QStringLiteral("%1: Field not found").arg(objectName()));
    const int column = m_fieldOrder[static_cast<size_t>(index)];
    if (const std::optional<QVariant> buffered = bufferedValue(column))
        return *buffered;
    if (order().empty())
        return {};
    if (isUnread(current()))
        finishFilling();
    return reading().store.cell(order()[static_cast<size_t>(current())], column);
}

QString RecordCursor::text(const QString& name)
{
    const QVariant v = value(name);
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::Double)
        return formats::general(v.toDouble());
    return v.toString();
}

int RecordCursor::asInteger(const QString& name)
{
    return value(name).toInt();
}

bool RecordCursor::isNull(const QString& name)
{
    return value(name).isNull();
}

QVariant RecordCursor::valueAt(int position, int index)
{
    if (isUnread(position))
        finishFilling();
    return std::as_const(*this).valueAt(position, index);
}

QVariant RecordCursor::valueAt(int position, const QString& name)
{
    return valueAt(position, fieldIndex(name));
}

QVariant RecordCursor::valueAt(int position, int index) const
{
    if (position < 0 || position >= static_cast<int>(order().size()) || index < 0 ||
        index >= fieldCount() || isUnread(position))
        return {};
    return reading().store.cell(order()[static_cast<size_t>(position)],
                                m_fieldOrder[static_cast<size_t>(index)]);
}

QVariant RecordCursor::valueAt(int position, const QString& name) const
{
    return valueAt(position, fieldIndex(name));
}

RowValues RecordCursor::rowValues()
{
    requireRecord();
    if (isUnread(current()))
        finishFilling();
    const ColumnStore& store = reading().store;
    const int row = order()[static_cast<size_t>(current())];
    RowValues values;
    for (int c = 0; c < store.columnCount(); ++c)
        values.append({store.column(c).info.name, store.cell(row, c)});
    return values;
}

qint64 RecordCursor::keyAt(int position) const
{
    if (position < 0 || position >= static_cast<int>(order().size()) || isUnread(position))
        return 0;
    return reading().store.key(order()[static_cast<size_t>(position)]);
}

qint64 RecordCursor::key()
{
    requireRecord();
    if (isUnread(current()))
        finishFilling();
    return reading().store.key(order()[static_cast<size_t>(current())]);
}

bool RecordCursor::locateKey(qint64 key)
{
    requireOpen(*this);
    finishFilling();
    const ColumnStore& store = reading().store;
    const auto it = std::find_if(order().begin(), order().end(),
                                 [&](int row) { return store.key(row) == key; });
    if (it == order().end())
        return false;
    setCurrent(static_cast<int>(it - order().begin()), false);
    return true;
}

RecordCursor::Bookmark RecordCursor::bookmark()
{
    requireOpen(*this);
    finishFilling();
    return order().empty() ? -1 : order()[static_cast<size_t>(current())];
}

bool RecordCursor::bookmarkValid(Bookmark bookmark)
{
    if (!isOpen())
        return false;
    finishFilling();
    return bookmark >= 0 &&
           std::find(order().begin(), order().end(), static_cast<int>(bookmark)) != order().end();
}

void RecordCursor::gotoBookmark(Bookmark bookmark)
{
    requireOpen(*this);
    finishFilling();
    const auto it = std::find(order().begin(), order().end(), static_cast<int>(bookmark));
    if (it == order().end())
        throw DatabaseError(QStringLiteral("Record not found"));
    setCurrent(static_cast<int>(it - order().begin()), false);
}

double RecordCursor::sum(const QString& name)
{
    requireOpen(*this);
    finishFilling();
    return reading().store.sum(physicalColumn(name), order());
}

bool RecordCursor::knownTotals(int index, Totals* totals) const
{
    if (!isOpen() || index < 0 || index >= fieldCount())
        return false;
    const int column = m_fieldOrder[static_cast<size_t>(index)];
    if (!reading().totals.knows(column, contentVersion()))
        return false;
    *totals = reading().totals.get(reading().store, column, order(), contentVersion());
    return true;
}

RecordCursor::Totals RecordCursor::totals(int index)
{
    return totals(std::vector<int>{index}).front();
}

std::vector<RecordCursor::Totals> RecordCursor::totals(const std::vector<int>& fieldIndexes)
{
    std::vector<Totals> all(fieldIndexes.size());
    if (!isOpen())
        return all;
    const ColumnStore& store = reading().store;
    auto columnOf = [&](size_t i) {
        const int index = fieldIndexes[i];
        return index >= 0 && index < fieldCount() ? m_fieldOrder[static_cast<size_t>(index)] : -1;
    };
    // While the listing is being filled in, the book works the figures out over its statement
    // instead of the rest being read.
    if (isFilling()) {
        QStringList names;
        std::vector<int> asked;
        bool numbers = true;
        for (size_t i = 0; i < all.size(); ++i) {
            const int c = columnOf(i);
            if (c < 0 || reading().totals.knows(c, contentVersion()))
                continue;
            const FieldType type = store.column(c).info.type;
            numbers = numbers && (type == FieldType::Float || type == FieldType::Integer);
            names << store.column(c).info.name;
            asked.push_back(c);
        }
        bool known = asked.empty();
        if (!known && numbers) {
            try {
                const auto figures = ListingTotals::ofStatement(book().db(), query(), names);
                for (size_t i = 0; i < asked.size(); ++i)
                    reading().totals.keep(asked[i], figures[i], contentVersion());
                known = true;
            } catch (const DatabaseError&) {
                // The rows say it, once all are read.
            }
        }
        if (!known)
            finishFilling();
    }
    for (size_t i = 0; i < all.size(); ++i)
        if (const int c = columnOf(i); c >= 0)
            all[i] = reading().totals.get(reading().store, c, order(), contentVersion());
    return all;
}
