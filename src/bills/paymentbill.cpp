#include "bills/paymentbill.h"

#include "bills/billvalues.h"

#include <array>

namespace bills {

namespace {

enum Field { Time, Category, Counterparty, Goods, Way, Amount, Status, Order, Merchant, Fields };

// Each field's names across the layouts the two apps have used.
const std::array<QStringList, Fields>& aliases()
{
    static const std::array<QStringList, Fields> names{
        QStringList{QStringLiteral("交易时间"), QStringLiteral("交易创建时间"),
                    QStringLiteral("付款时间")},
        QStringList{QStringLiteral("交易分类"), QStringLiteral("交易类型"), QStringLiteral("类型")},
        QStringList{QStringLiteral("交易对方")},
        QStringList{QStringLiteral("商品说明"), QStringLiteral("商品"), QStringLiteral("商品名称")},
        QStringList{QStringLiteral("收/支")},
        QStringList{QStringLiteral("金额"), QStringLiteral("金额(元)")},
        QStringList{QStringLiteral("交易状态"), QStringLiteral("当前状态")},
        QStringList{QStringLiteral("交易订单号"), QStringLiteral("交易单号"),
                    QStringLiteral("交易号")},
        QStringList{QStringLiteral("商家订单号"), QStringLiteral("商户单号")},
    };
    return names;
}

struct Header
{
    int index = -1; // in the table
    std::array<int, Fields> column{};
    bool wechat = false;
};

std::optional<Header> findHeader(const Table& table)
{
    for (int r = 0; r < table.size(); ++r) {
        Header header;
        header.index = r;
        header.column.fill(-1);
        const QStringList& cells = table.at(r).cells;
        for (int c = 0; c < cells.size(); ++c) {
            const QString key = headerKey(cells.at(c));
            if (key == u"交易单号" || key == u"商户单号" || key == u"当前状态")
                header.wechat = true;
            for (int f = 0; f < Fields; ++f)
                if (header.column[f] < 0 && aliases()[f].contains(key))
                    header.column[f] = c;
        }
        if (header.column[Time] >= 0 && header.column[Counterparty] >= 0 &&
            header.column[Way] >= 0 && header.column[Amount] >= 0 && header.column[Order] >= 0)
            return header;
    }
    return std::nullopt;
}

bool isFooter(const TableRow& row)
{
    int filled = 0;
    for (const QString& cell : row.cells)
        if (!cell.trimmed().isEmpty())
            ++filled;
    return filled <= 1;
}

} // namespace

std::optional<Bill> readPaymentBill(const BillFile& file)
{
    const std::optional<Header> header = findHeader(file.table);
    if (!header)
        return std::nullopt;
    Bill bill;
    bill.path = file.path;
    bill.source = header->wechat ? QStringLiteral("wechat") : QStringLiteral("alipay");
    bill.title = header->wechat ? QStringLiteral("微信支付账单") : QStringLiteral("支付宝账单");
    bill.rows.reserve(file.table.size() - header->index);
    for (int r = header->index + 1; r < file.table.size(); ++r) {
        const TableRow& tableRow = file.table.at(r);
        // The older Alipay layout puts its export block after a dashed line below the rows.
        if (!tableRow.cells.isEmpty() && tableRow.cells.first().trimmed().startsWith(u"---"))
            break;
        if (isFooter(tableRow))
            continue;
        auto cell = [&](Field f) {
            const int c = header->column[f];
            return c < 0 ? QString() : cleanCell(tableRow.cells.value(c));
        };
        BillRow row;
        row.line = tableRow.line;
        row.time = cell(Time);
        row.date = parseDate(row.time);
        row.directionText = cell(Way);
        row.counterparty = cell(Counterparty);
        row.goods = cell(Goods);
        row.category = cell(Category);
        row.status = cell(Status);
        row.orderNo = cell(Order);
        row.merchantNo = cell(Merchant);
        const std::optional<qint64> cents =
            parseCents(tableRow.cells.value(header->column[Amount]));
        row.amountValid = cents && *cents >= 0;
        row.cents = row.amountValid ? *cents : 0;
        if (row.directionText == u"收入")
            row.direction = Direction::Income;
        else if (row.directionText == u"支出")
            row.direction = Direction::Expense;
        else
            row.direction = header->wechat ? Direction::Neutral : Direction::NotCounted;
        if (header->wechat)
            row.refund = row.category.contains(QStringLiteral("退款"));
        else
            row.refund =
                row.category == u"退款" || row.goods.startsWith(QStringLiteral("退款-")) ||
                (row.status.contains(QStringLiteral("退款成功")) && row.orderNo.contains(u'_'));
        if (header->wechat && row.directionText.isEmpty())
            row.directionText = QStringLiteral("/");
        bill.rows.append(std::move(row));
    }
    numberRowsWithout(bill.rows);
    return bill;
}

} // namespace bills
