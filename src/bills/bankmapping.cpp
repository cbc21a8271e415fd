#include "bills/bankmapping.h"

#include "bills/billvalues.h"
#include "settings/settings.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace bills {

namespace {

// How far down a header is looked for.
constexpr int kHeaderSearchRows = 60;

QStringList headerKeys(const QStringList& header)
{
    QStringList keys;
    for (const QString& name : header)
        keys.append(headerKey(name));
    while (!keys.isEmpty() && keys.constLast().isEmpty())
        keys.removeLast();
    return keys;
}

int filledCells(const QStringList& cells)
{
    int filled = 0;
    for (const QString& cell : cells)
        filled += cleanCell(cell).isEmpty() ? 0 : 1;
    return filled;
}

bool looksLikeNames(const QStringList& cells)
{
    if (filledCells(cells) < 2)
        return false;
    for (const QString& cell : cells) {
        const QString text = cleanCell(cell);
        if (!text.isEmpty() && (parseCents(text) || !parseDate(text).isEmpty()))
            return false;
    }
    return true;
}

QString firstNamed(const QStringList& header, std::initializer_list<const char16_t*> names)
{
    for (const char16_t* name : names)
        for (const QString& column : header)
            if (headerKey(column) == QStringView(name))
                return column;
    for (const char16_t* name : names)
        for (const QString& column : header)
            if (headerKey(column).contains(QStringView(name)))
                return column;
    return {};
}

} // namespace

QString BankMapping::toJson() const
{
    QJsonObject o;
    o[u"encoding"] = encoding;
    o[u"skipTop"] = skipTop;
    o[u"skipBottom"] = skipBottom;
    o[u"header"] = QJsonArray::fromStringList(header);
    o[u"date"] = date;
    o[u"amount"] = amount;
    o[u"income"] = income;
    o[u"expense"] = expense;
    o[u"counterparty"] = counterparty;
    o[u"summary"] = summary;
    o[u"reference"] = reference;
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<BankMapping> BankMapping::fromJson(const QString& json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    BankMapping m;
    m.encoding =
        o[u"encoding"].toString() == u"UTF-8" ? QStringLiteral("UTF-8") : QStringLiteral("GBK");
    m.skipTop = qMax(0, o[u"skipTop"].toInt());
    m.skipBottom = qMax(0, o[u"skipBottom"].toInt());
    for (const QJsonValue& v : o[u"header"].toArray())
        m.header.append(v.toString());
    m.date = o[u"date"].toString();
    m.amount = o[u"amount"].toString();
    m.income = o[u"income"].toString();
    m.expense = o[u"expense"].toString();
    m.counterparty = o[u"counterparty"].toString();
    m.summary = o[u"summary"].toString();
    m.reference = o[u"reference"].toString();
    if (m.date.isEmpty() || (m.amount.isEmpty() && m.income.isEmpty() && m.expense.isEmpty()))
        return std::nullopt;
    return m;
}

QString headerFingerprint(const QStringList& header)
{
    const QByteArray joined = headerKeys(header).join(QChar(0x1F)).toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(joined, QCryptographicHash::Sha1).toHex().left(16));
}

BankMapping guessMapping(const BillFile& file)
{
    BankMapping m;
    m.encoding = file.encoding.isEmpty() ? QStringLiteral("UTF-8") : file.encoding;
    for (int r = 0; r < file.table.size() && r < kHeaderSearchRows; ++r) {
        if (looksLikeNames(file.table.at(r).cells)) {
            m.skipTop = file.table.at(r).line - 1;
            m.header = file.table.at(r).cells;
            break;
        }
    }
    const QStringList& h = m.header;
    m.date = firstNamed(h, {u"交易日期", u"记账日期", u"日期", u"交易时间", u"时间"});
    m.income = firstNamed(h, {u"收入金额", u"收入", u"贷方发生额", u"贷方金额", u"存入"});
    m.expense = firstNamed(h, {u"支出金额", u"支出", u"借方发生额", u"借方金额", u"取出"});
    if (m.income.isEmpty() || m.expense.isEmpty()) {
        m.income.clear();
        m.expense.clear();
        m.amount = firstNamed(h, {u"交易金额", u"发生额", u"金额"});
    }
    m.counterparty =
        firstNamed(h, {u"对方户名", u"交易对方", u"对方名称", u"对方账户名", u"收/付款人"});
    m.summary = firstNamed(h, {u"摘要", u"用途", u"交易摘要", u"附言", u"备注"});
    m.reference = firstNamed(h, {u"交易流水号", u"流水号", u"参考号", u"凭证号", u"交易序号"});
    return m;
}

Bill applyMapping(const BillFile& file, const BankMapping& m)
{
    if (m.date.isEmpty())
        throw BillError(QStringLiteral("请选择日期所在的列。"));
    if (m.amount.isEmpty() && (m.income.isEmpty() || m.expense.isEmpty()))
        throw BillError(QStringLiteral("请选择金额所在的列，或收入和支出所在的两列。"));
    const Table table = !file.csvBytes.isEmpty() && m.encoding != file.encoding
                            ? decodeCsv(file.csvBytes, m.encoding)
                            : file.table;
    const QStringList wanted = {m.date,         m.amount,  m.income,   m.expense,
                                m.counterparty, m.summary, m.reference};
    int headerRow = -1;
    QHash<QString, int> column;
    for (int r = 0; r < table.size() && headerRow < 0; ++r) {
        if (table.at(r).line <= m.skipTop)
            continue;
        column.clear();
        const QStringList& cells = table.at(r).cells;
        for (int c = 0; c < cells.size(); ++c)
            column.insert(headerKey(cells.at(c)), c);
        bool all = true;
        for (const QString& name : wanted)
            all = all && (name.isEmpty() || column.contains(headerKey(name)));
        if (all)
            headerRow = r;
    }
    if (headerRow < 0)
        throw BillError(QStringLiteral("在文件中找不到所选的列名（%1）。").arg(m.date));

    Bill bill;
    bill.path = file.path;
    bill.source = QStringLiteral("bank:") + headerFingerprint(table.at(headerRow).cells);
    bill.title = QStringLiteral("银行流水");
    int last = static_cast<int>(table.size());
    for (int dropped = 0; dropped < m.skipBottom && last > headerRow + 1;) {
        --last;
        if (filledCells(table.at(last).cells) > 0)
            ++dropped;
    }
    for (int r = headerRow + 1; r < last; ++r) {
        const TableRow& tableRow = table.at(r);
        if (filledCells(tableRow.cells) == 0)
            continue;
        auto cell = [&](const QString& name) {
            return name.isEmpty() ? QString()
                                  : cleanCell(tableRow.cells.value(column.value(headerKey(name))));
        };
        BillRow row;
        row.line = tableRow.line;
        row.time = cell(m.date);
        row.date = parseDate(row.time);
        row.counterparty = cell(m.counterparty);
        row.goods = cell(m.summary);
        std::optional<qint64> cents;
        if (!m.amount.isEmpty()) {
            cents = parseCents(cell(m.amount));
        } else {
            const QString in = cell(m.income);
            const QString out = cell(m.expense);
            const auto income = in.isEmpty() ? std::optional<qint64>(0) : parseCents(in);
            const auto expense = out.isEmpty() ? std::optional<qint64>(0) : parseCents(out);
            if (income && expense)
                cents = *income != 0 ? *income : -qAbs(*expense);
        }
        row.amountValid = cents.has_value();
        row.cents = cents ? qAbs(*cents) : 0;
        row.direction = cents && *cents < 0 ? Direction::Expense : Direction::Income;
        row.directionText =
            row.direction == Direction::Income ? QStringLiteral("收入") : QStringLiteral("支出");
        row.orderNo = cell(m.reference);
        bill.rows.append(std::move(row));
    }
    numberRowsWithout(bill.rows);
    return bill;
}

std::optional<BankMapping> SettingsMappingStore::find(const QString& fingerprint)
{
    const std::optional<QString> json =
        settings::read(QStringLiteral("billmapping/") + fingerprint);
    if (!json || json->isEmpty())
        return std::nullopt;
    return BankMapping::fromJson(*json);
}

void SettingsMappingStore::remember(const BankMapping& mapping)
{
    settings::write(QStringLiteral("billmapping/") + headerFingerprint(mapping.header),
                    mapping.toJson());
}

std::optional<BankMapping> rememberedMapping(const BillFile& file, MappingStore& store)
{
    for (int r = 0; r < file.table.size() && r < kHeaderSearchRows; ++r) {
        const QStringList& cells = file.table.at(r).cells;
        if (filledCells(cells) < 2)
            continue;
        if (std::optional<BankMapping> m = store.find(headerFingerprint(cells))) {
            m->skipTop = file.table.at(r).line - 1; // found by its names, wherever it stands
            return m;
        }
    }
    return std::nullopt;
}

} // namespace bills
