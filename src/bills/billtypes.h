#pragma once

#include "data/cashrecord.h"
#include "data/errors.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a payment bill (账单) is made of once read: its rows as the file has them, and what
// becomes of each in the book.
namespace bills {

// A bill is refused unread from this size on: real monthly bills are a few megabytes.
constexpr qint64 kMaxBillBytes = 100LL * 1024 * 1024;

// The file is no bill, is too big, or cannot be read.
class BillError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// The bill sits in an encrypted zip and the password is missing or wrong.
class BillPasswordError : public BillError
{
public:
    BillPasswordError(QString message, bool wrong) : BillError(std::move(message)), m_wrong(wrong)
    {
    }
    bool wrongPassword() const { return m_wrong; }

private:
    bool m_wrong;
};

// One row of a table as read from a CSV file or a worksheet; line is its number there.
struct TableRow
{
    int line = 0;
    QStringList cells;
};
using Table = QList<TableRow>;

// 收/支 of a row: 不计收支 (Alipay) and "/" (WeChat: top-up, withdrawal) are neither.
enum class Direction { Income, Expense, NotCounted, Neutral };

// What becomes of a row. Import and the three kinds the operator may take in can be chosen;
// the others are fixed.
enum class Outcome {
    Import,
    RefundMerged,    // a refund taken into its original
    FullyRefunded,   // refunded in full: neither it nor its refunds are stored
    NotCounted,      // 不计收支
    Neutral,         // 中性交易
    Closed,          // 交易关闭 (or failed)
    AlreadyImported, // its order number is in the book already
    DuplicateInFile, // the same order number earlier in this file
    BadAmount,
    ZeroAmount,
    BadDate,
};

// The reason shown for a skipped row.
QString reasonText(Outcome outcome);

struct BillRow
{
    int line = 0;          // row number in the file
    QString time;          // 交易时间 as written
    QString date;          // yyyy-mm-dd; empty when it cannot be read
    QString directionText; // 收/支 as written
    Direction direction = Direction::NotCounted;
    QString counterparty;
    QString goods;    // 商品说明 / 商品; "/" read as empty
    QString category; // 交易分类 / 交易类型
    QString status;
    qint64 cents = 0; // the amount as written, never negative
    bool amountValid = false;
    QString orderNo;    // 交易订单号 / 交易单号 / a bank's reference
    QString merchantNo; // 商家订单号 / 商户单号
    bool refund = false;

    // Set by classifying.
    Outcome outcome = Outcome::Import;
    qint64 netCents = 0; // the amount less the refunds taken in
    int refundOf = -1;   // the original a refund was taken into
    QList<int> refunds;  // the refunds taken into this row
    QString summary() const { return goods.isEmpty() ? category : goods; }
};

// Which skipped kinds the operator takes in.
struct ImportChoices
{
    bool notCounted = false;
    bool neutral = false;
    bool closed = false;
};

// A bill read and recognised: where it came from and its rows in file order.
struct Bill
{
    QString source; // "alipay", "wechat" or "bank:" and the header's fingerprint
    QString title;  // 支付宝账单, 微信支付账单, 银行流水
    QString path;
    QList<BillRow> rows;
};

// One record handed to the store, with what identifies it in later imports.
struct ImportedRecord
{
    CashRecord record;
    QString source;
    QString orderNo;            // the row's own order number
    QStringList refundOrderNos; // those of the refunds taken into it
    int line = 0;               // its row in the file
};

// Everything "导 入" hands over: the chosen records, and the order numbers of rows that
// cancel out (a full refund and its original), kept so a later bill does not bring them back.
struct BillImport
{
    QString source;
    QString path;
    QList<ImportedRecord> records;
    QStringList settledOrderNos;
    int fileRows = 0; // rows of the bill
};

// The key of an order number in the set of those already imported.
inline QString orderKey(const QString& source, const QString& orderNo)
{
    return source + QChar(u'|') + orderNo;
}

} // namespace bills
