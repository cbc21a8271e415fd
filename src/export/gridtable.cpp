#include "export/gridtable.h"

#include "cashbook/gridcolumns.h"
#include "cashbook/recordgrid.h"
#include "data/dataset.h"

GridTable::GridTable(const RecordGrid* grid) : m_grid(grid), m_listing(grid->listing())
{
    if (m_listing && !m_listing->isOpen())
        m_listing = nullptr;
    for (int c = 0; c < RecordGrid::kColumnCount; ++c) {
        if (!grid->isColumnVisible(c))
            continue;
        m_columns << c;
        m_fields << (m_listing ? m_listing->fieldIndex(grid->columnField(c)) : -1);
    }
}

QString GridTable::columnTitle(int column) const
{
    return m_grid->columnTitle(m_columns[column]);
}

TableSource::Kind GridTable::columnKind(int column) const
{
    const int field = m_fields[column];
    if (field < 0)
        return Kind::Text;
    switch (m_listing->field(field).type) {
    case FieldType::Float:
        return Kind::Number;
    case FieldType::Integer:
        return Kind::Integer;
    case FieldType::Date:
        return Kind::Date;
    case FieldType::Text:
    case FieldType::Memo:
        break;
    }
    return Kind::Text;
}

int GridTable::rowCount() const
{
    return m_listing ? m_listing->recordCount() : 0;
}

QVariant GridTable::value(int row, int column) const
{
    const int field = m_fields[column];
    return field < 0 ? QVariant() : m_listing->valueAt(row, field);
}

bool GridTable::footerSums(int column) const
{
    return gridcolumns::column(m_columns[column]).summed;
}

QString GridTable::footerText(int column) const
{
    return m_grid->staticFooterText(m_columns[column]);
}
