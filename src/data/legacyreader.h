#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// Reads the tables of an Access (Jet 3 or Jet 4) file through libmdb, without rendering
// numbers or dates as text: doubles come straight from the row bytes, dates as
// QDateTime in UTC (Access keeps days since 1899-12-30 as a double).
namespace legacy {

// One table's live rows in the order a table scan meets them; each value is null, a
// QString, a double, a qlonglong, a bool or a QDateTime.
struct AccessTable
{
    QStringList columns;
    QList<QVariantList> rows;
    unsigned recordedRows = 0; // the row count the table's definition records

    // Position of a column, case-insensitive as Access names are; -1 when absent.
    int column(const QString& name) const;
};

class AccessFile
{
public:
    // Throws QuenvaleError when the file cannot be read as an Access database.
    explicit AccessFile(const QString& path);
    ~AccessFile();
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    // Throws QuenvaleError when the table is missing, holds a column type the book
    // cannot use, or its pages do not add up to the rows its definition records.
    AccessTable read(const QString& table);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_path;
};

} // namespace legacy
