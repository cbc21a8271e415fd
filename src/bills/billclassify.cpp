#include "bills/billclassify.h"

#include <QHash>

namespace bills {

namespace {

// The original a refund belongs to: Alipay numbers a refund as the original's order number
// and "_…", WeChat gives it the original's 商户单号.
int originalOf(const QList<BillRow>& rows, int refund, const QString& source,
               const QHash<QString, int>& byOrder, const QHash<QString, int>& byMerchant)
{
    const BillRow& row = rows.at(refund);
    if (source == u"alipay") {
        const qsizetype cut = row.orderNo.indexOf(u'_');
        if (cut > 0)
            return byOrder.value(row.orderNo.left(cut), -1);
        return -1;
    }
    if (source == u"wechat" && !row.merchantNo.isEmpty())
        return byMerchant.value(row.merchantNo, -1);
    return -1;
}

bool isClosed(const BillRow& row)
{
    return row.status.contains(QStringLiteral("关闭")) ||
           row.status.contains(QStringLiteral("失败"));
}

} // namespace

QString reasonText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Import:
        return {};
    case Outcome::RefundMerged:
        return QStringLiteral("退款已并入原交易");
    case Outcome::FullyRefunded:
        return QStringLiteral("已全额退款");
    case Outcome::NotCounted:
        return QStringLiteral("不计收支");
    case Outcome::Neutral:
        return QStringLiteral("中性交易");
    case Outcome::Closed:
        return QStringLiteral("交易关闭");
    case Outcome::AlreadyImported:
        return QStringLiteral("已导入过");
    case Outcome::DuplicateInFile:
        return QStringLiteral("订单号重复");
    case Outcome::BadAmount:
        return QStringLiteral("金额无效");
    case Outcome::ZeroAmount:
        return QStringLiteral("金额为零");
    case Outcome::BadDate:
        return QStringLiteral("日期无效");
    }
    return {};
}

QString reasonFor(const BillRow& row)
{
    if (row.outcome == Outcome::Closed && row.status.contains(QStringLiteral("失败")))
        return QStringLiteral("交易失败");
    return reasonText(row.outcome);
}

QString recordKind(const BillRow& row)
{
    if (row.direction == Direction::Income)
        return QStringLiteral("收入");
    if (row.direction == Direction::Expense)
        return QStringLiteral("支出");
    const QString text = row.category + row.goods;
    for (const char16_t* word : {u"收益", u"退款", u"充值", u"转入", u"收款", u"红包"})
        if (text.contains(QStringView(word)))
            return QStringLiteral("收入");
    return QStringLiteral("支出");
}

void classify(QList<BillRow>& rows, const QString& source, const ImportChoices& choices,
              const QSet<QString>& imported)
{
    QHash<QString, int> byOrder;
    QHash<QString, int> byMerchant;
    byOrder.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        BillRow& row = rows[i];
        row.netCents = row.cents;
        row.refundOf = -1;
        row.refunds.clear();
        if (row.date.isEmpty())
            row.outcome = Outcome::BadDate;
        else if (!row.amountValid)
            row.outcome = Outcome::BadAmount;
        else if (row.cents == 0)
            row.outcome = Outcome::ZeroAmount;
        else if (!row.orderNo.isEmpty() && byOrder.contains(row.orderNo))
            row.outcome = Outcome::DuplicateInFile;
        else if (!row.orderNo.isEmpty() && imported.contains(orderKey(source, row.orderNo)))
            row.outcome = Outcome::AlreadyImported;
        else
            row.outcome = Outcome::Import;
        if (!row.orderNo.isEmpty() && !byOrder.contains(row.orderNo))
            byOrder.insert(row.orderNo, i);
        // Only an original still to be imported takes refunds in; a refund of one imported
        // before stands on its own.
        if (row.outcome == Outcome::Import && !row.refund && !row.merchantNo.isEmpty() &&
            !byMerchant.contains(row.merchantNo))
            byMerchant.insert(row.merchantNo, i);
    }
    for (int i = 0; i < rows.size(); ++i) {
        BillRow& row = rows[i];
        if (!row.refund || row.outcome != Outcome::Import)
            continue;
        const int original = originalOf(rows, i, source, byOrder, byMerchant);
        if (original < 0 || original == i || rows.at(original).refund ||
            rows.at(original).outcome != Outcome::Import)
            continue;
        row.outcome = Outcome::RefundMerged;
        row.refundOf = original;
        rows[original].refunds.append(i);
        rows[original].netCents -= row.cents;
    }
    for (BillRow& row : rows) {
        if (row.outcome != Outcome::Import)
            continue;
        if (!row.refunds.isEmpty() && row.netCents <= 0)
            row.outcome = Outcome::FullyRefunded;
        else if (row.refund && row.refundOf < 0)
            continue; // a refund whose original is not in this bill is money back
        else if (isClosed(row) && !choices.closed)
            row.outcome = Outcome::Closed;
        else if (row.direction == Direction::NotCounted && !choices.notCounted)
            row.outcome = Outcome::NotCounted;
        else if (row.direction == Direction::Neutral && !choices.neutral)
            row.outcome = Outcome::Neutral;
    }
}

} // namespace bills
