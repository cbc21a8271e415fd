#include "bills/bookbillstore.h"

#include "data/bookwriter.h"
#include "data/sql.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>

namespace bills {

namespace {

const QString kData = QStringLiteral("data");
const QString kImports = QStringLiteral("imports");

// Numbers are looked up and written a slice at a time: each statement stays small whatever the
// bill's size.
constexpr qsizetype kSlice = 200;

// The numbers of an import taken back (its row of imports is gone) count as never imported.
const QString kLive = QStringLiteral("exists (select 1 from imports b where b.id=imported.batch)");

QString marks(qsizetype count, const QString& mark)
{
    return QStringList(count, mark).join(u',');
}

// Those of numbers already imported from source.
QSet<QString> knownNumbers(QSqlDatabase& db, const QString& source, const QStringList& numbers)
{
    QSet<QString> known;
    for (qsizetype from = 0; from < numbers.size(); from += kSlice) {
        const QStringList slice = numbers.mid(from, kSlice);
        QVariantList values{source};
        for (const QString& number : slice)
            values.append(number);
        QSqlQuery q = sql::exec(db,
                                QStringLiteral("select orderno from imported where source=? and "
                                               "orderno in (") +
                                    marks(slice.size(), QStringLiteral("?")) +
                                    QStringLiteral(") and ") + kLive,
                                values);
        while (q.next())
            known.insert(q.value(0).toString());
    }
    return known;
}

// Of two copies changing the order numbers at once, the second waits for the first's commit and
// then reads what it stored (the local book's write transaction does this already).
void lockNumbers(QSqlDatabase& db)
{
    if (sql::isServer(db))
        sql::exec(db, QStringLiteral("lock table imported in share row exclusive mode"));
}

// A number taken in and the record it became (0: a pair that cancelled out).
using Taken = QList<std::pair<QString, qint64>>;

// The rows of imported of one import, several to a statement: a bill brings thousands, and
// nobody lists them. Rows an import taken back left behind make way first.
void rememberNumbers(QSqlDatabase& db, qint64 batch, const QString& source, const Taken& numbers)
{
    for (qsizetype from = 0; from < numbers.size(); from += kSlice) {
        const Taken slice = numbers.mid(from, kSlice);
        QVariantList names{source};
        QVariantList rows;
        for (const auto& [number, record] : slice) {
            names << number;
            rows << batch << source << number
                 << (record ? QVariant(record) : QVariant(QMetaType::fromType<qint64>()));
        }
        sql::exec(db,
                  QStringLiteral("delete from imported where source=? and orderno in (") +
                      marks(slice.size(), QStringLiteral("?")) + QStringLiteral(") and not ") +
                      kLive,
                  names);
        sql::exec(db,
                  QStringLiteral("insert into imported (batch,source,orderno,record) values ") +
                      marks(slice.size(), QStringLiteral("(?,?,?,?)")),
                  rows);
    }
}

} // namespace

BookBillStore::BookBillStore(BookWriter& writer) : m_writer(writer) {}

QSet<QString> BookBillStore::importedOrders(const QString& source, const QStringList& orderNos)
{
    QStringList numbers = orderNos;
    numbers.removeAll(QString());
    numbers.removeDuplicates();
    QSqlDatabase db = m_writer.connection();
    QSet<QString> keys;
    for (const QString& number : knownNumbers(db, source, numbers))
        keys.insert(orderKey(source, number));
    return keys;
}

BillStoreResult BookBillStore::store(const BillImport& bill)
{
    BookWriter::Batch writes(m_writer, QStringLiteral("导入账单"));
    QSqlDatabase db = m_writer.connection();
    lockNumbers(db);
    QStringList numbers = bill.settledOrderNos;
    for (const ImportedRecord& item : bill.records)
        numbers << item.orderNo << item.refundOrderNos;
    numbers.removeAll(QString());
    numbers.removeDuplicates();
    const QSet<QString> known = knownNumbers(db, bill.source, numbers);

    BillStoreResult result;
    auto batch = [&] {
        if (result.batch == 0)
            result.batch = writes.add(
                kImports,
                {{QStringLiteral("source"), bill.source},
                 {QStringLiteral("file"), QFileInfo(bill.path).fileName()},
                 {QStringLiteral("written"),
                  QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
    };
    Taken taken;
    QSet<QString> seen = known; // and those of this import: a number handed over twice counts once
    for (const ImportedRecord& item : bill.records) {
        QStringList own = QStringList{item.orderNo} + item.refundOrderNos;
        own.removeAll(QString());
        // A record any of whose numbers is known is not stored, and its other numbers are not
        // remembered: a refund of an original imported before is then offered on its own.
        if (std::any_of(own.begin(), own.end(),
                        [&](const QString& number) { return seen.contains(number); })) {
            ++result.duplicates;
            continue;
        }
        batch();
        const qint64 key = writes.add(kData, item.record.columnValues());
        ++result.added;
        for (const QString& number : std::as_const(own)) {
            taken.append({number, key});
            seen.insert(number);
        }
    }
    for (const QString& number : bill.settledOrderNos)
        if (!number.isEmpty() && !seen.contains(number)) {
            taken.append({number, 0});
            seen.insert(number);
        }
    if (result.batch == 0 && taken.isEmpty())
        return result; // nothing new: nothing written
    batch();
    rememberNumbers(db, result.batch, bill.source, taken);
    writes.commit();
    return result;
}

} // namespace bills
