#include "bills/billpreview.h"

#include "bills/billclassify.h"

namespace bills {

BillPreview::BillPreview(Bill bill, QSet<QString> imported)
    : m_bill(std::move(bill)), m_imported(std::move(imported))
{
    reclassify();
}

void BillPreview::reclassify()
{
    classify(m_bill.rows, m_bill.source, m_choices, m_imported);
}

void BillPreview::setChoices(const ImportChoices& choices)
{
    QList<Outcome> before;
    before.reserve(m_bill.rows.size());
    for (const BillRow& row : std::as_const(m_bill.rows))
        before.append(row.outcome);
    m_choices = choices;
    reclassify();
    for (auto it = m_ticks.begin(); it != m_ticks.end();) {
        if (m_bill.rows.at(it.key()).outcome != before.at(it.key()))
            it = m_ticks.erase(it);
        else
            ++it;
    }
}

bool BillPreview::canChoose(int row) const
{
    switch (m_bill.rows.at(row).outcome) {
    case Outcome::Import:
    case Outcome::NotCounted:
    case Outcome::Neutral:
    case Outcome::Closed:
        return true;
    default:
        return false;
    }
}

bool BillPreview::isChosen(int row) const
{
    if (!canChoose(row))
        return false;
    return m_ticks.value(row, m_bill.rows.at(row).outcome == Outcome::Import);
}

void BillPreview::setChosen(int row, bool chosen)
{
    if (canChoose(row))
        m_ticks.insert(row, chosen);
}

int BillPreview::chosenCount() const
{
    int count = 0;
    for (int i = 0; i < rowCount(); ++i)
        count += isChosen(i) ? 1 : 0;
    return count;
}

qint64 BillPreview::chosenIncomeCents() const
{
    qint64 sum = 0;
    for (int i = 0; i < rowCount(); ++i)
        if (isChosen(i) && recordKind(m_bill.rows.at(i)) == u"收入")
            sum += m_bill.rows.at(i).netCents;
    return sum;
}

qint64 BillPreview::chosenExpenseCents() const
{
    qint64 sum = 0;
    for (int i = 0; i < rowCount(); ++i)
        if (isChosen(i) && recordKind(m_bill.rows.at(i)) == u"支出")
            sum += m_bill.rows.at(i).netCents;
    return sum;
}

CashRecord BillPreview::recordOf(int index) const
{
    const BillRow& row = m_bill.rows.at(index);
    CashRecord record;
    record.kind = recordKind(row);
    record.date = row.date;
    record.summary = row.summary();
    record.counterparty = row.counterparty;
    const double amount = static_cast<double>(row.netCents) / 100.0;
    if (record.kind == u"收入") {
        record.income = amount;
        record.received = amount;
    } else {
        record.expense = amount;
        record.paid = amount;
    }
    return record;
}

BillImport BillPreview::chosen() const
{
    BillImport result;
    result.source = m_bill.source;
    result.path = m_bill.path;
    result.fileRows = rowCount();
    for (int i = 0; i < rowCount(); ++i) {
        const BillRow& row = m_bill.rows.at(i);
        if (isChosen(i)) {
            ImportedRecord item;
            item.record = recordOf(i);
            item.source = m_bill.source;
            item.orderNo = row.orderNo;
            item.line = row.line;
            for (int refund : row.refunds)
                item.refundOrderNos.append(m_bill.rows.at(refund).orderNo);
            result.records.append(item);
        } else if (row.outcome == Outcome::FullyRefunded) {
            result.settledOrderNos.append(row.orderNo);
            for (int refund : row.refunds)
                result.settledOrderNos.append(m_bill.rows.at(refund).orderNo);
        }
    }
    result.settledOrderNos.removeAll(QString());
    return result;
}

} // namespace bills
