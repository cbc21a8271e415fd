#pragma once

#include "bills/billfile.h"

#include <optional>

namespace bills {

// How the columns of one bank's CSV become rows of a bill: each field by its column's name,
// the amount as one signed column or as an income/expense pair.
struct BankMapping
{
    QString encoding = QStringLiteral("GBK"); // or UTF-8
    int skipTop = 0;                          // rows above the header
    int skipBottom = 0;                       // rows at the end that are no payments (totals)
    QStringList header;                       // the header's names as the file has them
    QString date;
    QString amount; // signed: below zero is an expense
    QString income; // the pair, used when amount is empty
    QString expense;
    QString counterparty;
    QString summary;
    QString reference; // a number the bank gives each payment; duplicates are known by it

    QString toJson() const;
    static std::optional<BankMapping> fromJson(const QString& json);
};

// Identifies a header (and so a bank's layout) by its names.
QString headerFingerprint(const QStringList& header);

// A first guess for a table: the first row that looks like names, and columns by usual names.
BankMapping guessMapping(const BillFile& file);

// The bill the mapping makes of the file. A row without a reference number is known by its
// date, amount, texts and how often the same came before in the file. Throws BillError when
// the date or amount column is not given or the header is not found.
Bill applyMapping(const BillFile& file, const BankMapping& mapping);

// Where the mappings the operator made are kept, by header fingerprint.
class MappingStore
{
public:
    virtual ~MappingStore() = default;
    virtual std::optional<BankMapping> find(const QString& fingerprint) = 0;
    virtual void remember(const BankMapping& mapping) = 0;
};

// Kept in the program's settings (billmapping/<fingerprint>).
class SettingsMappingStore : public MappingStore
{
public:
    std::optional<BankMapping> find(const QString& fingerprint) override;
    void remember(const BankMapping& mapping) override;
};

// A mapping remembered for a header among the file's first rows.
std::optional<BankMapping> rememberedMapping(const BillFile& file, MappingStore& store);

} // namespace bills
