#include "data/legacyreader.h"

#include "data/errors.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstring>

#include <mdbtools.h>

namespace legacy {

namespace {

// Flags in the high bits of a data page's row offsets. A plain deleted row carries both.
// A row that grew and moved keeps its slot as a pointer (kPointer) to its new body, and
// that body is marked kNotScanned so a scan reads it once, through the pointer. When
// such a row is deleted, only the pointer slot is marked; its body keeps looking like
// an ordinary row to a reader that takes 0x8000 for "lookup" and 0x4000 for "deleted",
// which is how Debian's libmdb brings deleted rows back.
constexpr unsigned kNotScanned = 0x8000; // deleted, or the body of a moved row
constexpr unsigned kPointer = 0x4000;    // a moved row's slot: row number, 24-bit page
constexpr unsigned kOffsetMask = 0x1fff;
constexpr unsigned char kDataPage = 0x01;

QString damaged(const QString& path)
{
    return QStringLiteral("%1 已损坏或不完整。").arg(QFileInfo(path).fileName());
}

quint32 get16(const unsigned char* buf, int offset)
{
    return qFromLittleEndian<quint16>(buf + offset);
}

quint32 get32(const unsigned char* buf, int offset)
{
    return qFromLittleEndian<quint32>(buf + offset);
}

double getDouble(const unsigned char* buf, int offset)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(buf + offset));
}

// Access keeps a moment as days since 1899-12-30; the fraction, taken without its sign,
// is the time of that day.
QDateTime accessDate(double value)
{
    const double days = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - days) * 86400.0);
    if (seconds >= 86400)
        seconds = 86399;
    const QDate day = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    return QDateTime(day, QTime(0, 0).addSecs(static_cast<int>(seconds)), QTimeZone::utc());
}

} // namespace

int AccessTable::column(const QString& name) const
{
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

struct AccessFile::Handle
{
    MdbHandle* mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

AccessFile::AccessFile(const QString& path) : m_handle(std::make_unique<Handle>()), m_path(path)
{
    const QByteArray local = QFile::encodeName(path);
    m_handle->mdb = mdb_open(local.constData(), MDB_NOFLAGS);
    if (!m_handle->mdb)
        throw QuenvaleError(damaged(path));
    MdbHandle* mdb = m_handle->mdb;
    if (mdb->f->jet_version != MDB_VER_JET3 && mdb->f->jet_version != MDB_VER_JET4)
        throw QuenvaleError(QStringLiteral("不是 Access 97 或 2000 格式的数据库。"));
    // A short last page means a cut-off copy; libmdb would read it as an empty page.
    const qint64 size = QFileInfo(path).size();
    if (size <= 0 || size % mdb->fmt->pg_size != 0)
        throw QuenvaleError(damaged(path));
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        throw QuenvaleError(damaged(path));
}

AccessFile::~AccessFile() = default;

AccessTable AccessFile::read(const QString& name)
{
    MdbHandle* mdb = m_handle->mdb;
    QByteArray tableName = name.toUtf8();
    MdbTableDef* table = mdb_read_table_by_name(mdb, tableName.data(), MDB_TABLE);
    if (!table)
        throw QuenvaleError(QStringLiteral("找不到表 %1。").arg(name));
    std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> guard(table, mdb_free_tabledef);
    if (!mdb_read_columns(table))
        throw QuenvaleError(damaged(m_path));

    AccessTable result;
    result.recordedRows = table->num_rows;
    QList<int> types;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        const QString colName = QString::fromUtf8(col->name);
        switch (col->col_type) {
        case MDB_BOOL:
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_DATETIME:
        case MDB_TEXT:
            break;
        default:
            throw QuenvaleError(QStringLiteral("表 %1 的列 %2 的类型（%3）无法转换。")
                                    .arg(name, colName)
                                    .arg(col->col_type));
        }
        result.columns << colName;
        types << col->col_type;
    }

    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    const int rco = mdb->fmt->row_count_offset;
    const auto* page = mdb->pg_buf;

    // Bounds of row `row` on the page in pg_buf, or false when the offsets do not fit.
    auto rowBounds = [&](unsigned row, unsigned rows, int& start, int& size) {
        const unsigned entry = get16(page, rco + 2 + 2 * static_cast<int>(row));
        const int next =
            row == 0 ? pageSize
                     : static_cast<int>(get16(page, rco + 2 * static_cast<int>(row)) & kOffsetMask);
        start = static_cast<int>(entry & kOffsetMask);
        size = next - start;
        return start >= rco + 2 + 2 * static_cast<int>(rows) && size > 0 && next <= pageSize;
    };

    MdbField fields[MDB_MAX_COLS];
    auto crack = [&](int start, int size) {
        const int count = mdb_crack_row(table, start, static_cast<size_t>(size), fields);
        if (count != static_cast<int>(table->num_cols))
            throw QuenvaleError(damaged(m_path));
        QVariantList values;
        values.reserve(count);
        for (int i = 0; i < count; ++i) {
            const MdbField& f = fields[i];
            const int type = types.at(i);
            if (type == MDB_BOOL) {
                values << QVariant(!f.is_null);
                continue;
            }
            if (f.is_null) {
                values << QVariant();
                continue;
            }
            auto need = [&](int bytes) {
                if (f.siz != bytes || f.start < 0 || f.start + bytes > pageSize)
                    throw QuenvaleError(damaged(m_path));
            };
            switch (type) {
            case MDB_BYTE:
                need(1);
                values << QVariant(qlonglong(page[f.start]));
                break;
            case MDB_INT:
                need(2);
                values << QVariant(qlonglong(qint16(get16(page, f.start))));
                break;
            case MDB_LONGINT:
                need(4);
                values << QVariant(qlonglong(qint32(get32(page, f.start))));
                break;
            case MDB_MONEY:
                need(8);
                values << QVariant(double(qFromLittleEndian<qint64>(page + f.start)) / 10000.0);
                break;
            case MDB_FLOAT:
                need(4);
                values << QVariant(double(std::bit_cast<float>(get32(page, f.start))));
                break;
            case MDB_DOUBLE:
                need(8);
                values << QVariant(getDouble(page, f.start));
                break;
            case MDB_DATETIME: {
                need(8);
                const double v = getDouble(page, f.start);
                if (!std::isfinite(v) || std::fabs(v) > 3.0e6)
                    throw QuenvaleError(damaged(m_path));
                values << QVariant(accessDate(v));
                break;
            }
            default: { // text
                if (f.siz < 0 || f.start < 0 || f.start + f.siz > pageSize)
                    throw QuenvaleError(damaged(m_path));
                char* text = mdb_col_to_string(mdb, mdb->pg_buf, f.start, type, f.siz);
                values << QVariant(QString::fromUtf8(text ? text : ""));
                g_free(text);
                break;
            }
            }
        }
        return values;
    };

    mdb_rewind_table(table);
    while (mdb_read_next_dpg(table)) {
        const quint32 here = table->cur_phys_pg;
        const unsigned rows = get16(page, rco);
        if (rco + 2 + 2 * static_cast<int>(rows) > pageSize)
            throw QuenvaleError(damaged(m_path));
        for (unsigned row = 0; row < rows; ++row) {
            const unsigned entry = get16(page, rco + 2 + 2 * static_cast<int>(row));
            if (entry & kNotScanned)
                continue;
            int start = 0;
            int size = 0;
            if (!rowBounds(row, rows, start, size))
                throw QuenvaleError(damaged(m_path));
            if (!(entry & kPointer)) {
                result.rows << crack(start, size);
                continue;
            }
            // The row moved: its body sits on another page of the same table.
            if (size < 4)
                throw QuenvaleError(damaged(m_path));
            const unsigned targetRow = page[start];
            const quint32 targetPage = get32(page, start) >> 8;
            if (mdb_read_pg(mdb, targetPage) != pageSize || page[0] != kDataPage ||
                get32(page, 4) != table->entry->table_pg)
                throw QuenvaleError(damaged(m_path));
            const unsigned targetRows = get16(page, rco);
            if (targetRow >= targetRows || rco + 2 + 2 * static_cast<int>(targetRows) > pageSize ||
                !(get16(page, rco + 2 + 2 * static_cast<int>(targetRow)) & kNotScanned) ||
                !rowBounds(targetRow, targetRows, start, size))
                throw QuenvaleError(damaged(m_path));
            result.rows << crack(start, size);
            if (mdb_read_pg(mdb, here) != pageSize)
                throw QuenvaleError(damaged(m_path));
        }
    }
    // A cut-off or damaged file loses pages without a read error; the definition's count
    // tells.
    if (static_cast<unsigned>(result.rows.size()) != result.recordedRows)
        throw QuenvaleError(QStringLiteral("表 %1 应有 %2 条记录，只读到 %3 条；%4")
                                .arg(name)
                                .arg(result.recordedRows)
                                .arg(result.rows.size())
                                .arg(damaged(m_path)));
    return result;
}

} // namespace legacy
