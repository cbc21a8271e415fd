#include "bills/bookbillstore.h"

#include "data/bookwriter.h"
#include "data/errors.h"
#include "data/sql.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>

namespace bills {

namespace {

const QString kData = QStringLiteral("data");
const QString kImports = QStringLiteral("imports");
const QString kImported = QStringLiteral("imported");

// Numbers are looked up a slice at a time: the statement stays small whatever the bill's size.
constexpr qsizetype kSlice = 500;

// Those of numbers already imported from source.
QSet<QString> knownNumbers(QSqlDatabase& db, const QString& source, const QStringList& numbers)
{
    QSet<QString> known;
    for (qsizetype from = 0; from < numbers.size(); from += kSlice) {
        const QStringList slice = numbers.mid(from, kSlice);
        QVariantList values{source};
        for (const QString& number : slice)
            values.append(number);
        QStringList marks(slice.size(), QStringLiteral("?"));
        QSqlQuery q = sql::exec(db,
                                QStringLiteral("select orderno from imported where source=? and "
                                               "orderno in (") +
                                    marks.join(u',') + u')',
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

QList<qint64> keys(QSqlDatabase& db, const QString& statement, qint64 batch)
{
    QList<qint64> found;
    QSqlQuery q = sql::exec(db, statement, {batch});
    while (q.next())
        found.append(q.value(0).toLongLong());
    return found;
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
    BookWriter::Batch writes(m_writer);
    QSqlDatabase db = m_writer.connection();
    lockNumbers(db);
    QStringList numbers = bill.settledOrderNos;
    for (const ImportedRecord& item : bill.records)
        numbers << item.orderNo << item.refundOrderNos;
    numbers.removeAll(QString());
    numbers.removeDuplicates();
    const QSet<QString> known = knownNumbers(db, bill.source, numbers);

    BillStoreResult result;
    QSet<QString> taken; // by this import: a number handed over twice is stored once
    auto remember = [&](const QString& number, const QVariant& record) {
        if (result.batch == 0)
            result.batch = writes.add(
                kImports,
                {{QStringLiteral("source"), bill.source},
                 {QStringLiteral("file"), QFileInfo(bill.path).fileName()},
                 {QStringLiteral("written"),
                  QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}});
        writes.add(kImported,
                   {{QStringLiteral("batch"), result.batch},
                    {QStringLiteral("source"), bill.source},
                    {QStringLiteral("orderno"), number.isEmpty() ? QVariant() : QVariant(number)},
                    {QStringLiteral("record"), record}});
        if (!number.isEmpty())
            taken.insert(number);
    };
    for (const ImportedRecord& item : bill.records) {
        QStringList own = QStringList{item.orderNo} + item.refundOrderNos;
        own.removeAll(QString());
        // A record any of whose numbers is known is not stored, and its other numbers are not
        // remembered: a refund of an original imported before is then offered on its own.
        const bool seen = std::any_of(own.begin(), own.end(), [&](const QString& number) {
            return known.contains(number) || taken.contains(number);
        });
        if (seen) {
            ++result.duplicates;
            continue;
        }
        const qint64 key = writes.add(kData, item.record.columnValues());
        ++result.added;
        // A record without a number is still tied to its batch, so the import is taken back
        // whole.
        if (own.isEmpty())
            own.append(QString());
        for (const QString& number : std::as_const(own))
            remember(number, key);
    }
    for (const QString& number : bill.settledOrderNos)
        if (!number.isEmpty() && !known.contains(number) && !taken.contains(number))
            remember(number, QVariant());
    if (result.batch != 0)
        writes.commit();
    return result;
}

int forgetImport(BookWriter& writer, qint64 batch)
{
    BookWriter::Batch writes(writer);
    QSqlDatabase db = writer.connection();
    lockNumbers(db);
    if (keys(db, QStringLiteral("select id from imports where id=?"), batch).isEmpty())
        throw MissingRowError(
            QStringLiteral("这次导入的账单已不在账本中（可能已被撤销），未作改动。"));
    // Records deleted since are gone already; those edited since go as they are now.
    const QList<qint64> records =
        keys(db,
             QStringLiteral("select id from data where id in (select record from imported where "
                            "batch=?) order by id"),
             batch);
    for (qint64 key : records)
        writes.remove(kData, key, {});
    for (qint64 key :
         keys(db, QStringLiteral("select id from imported where batch=? order by id"), batch))
        writes.remove(kImported, key, {});
    writes.remove(kImports, batch, {});
    writes.commit();
    return static_cast<int>(records.size());
}

} // namespace bills
