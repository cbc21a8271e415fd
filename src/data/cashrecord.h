#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// A row's columns and values, in the order written.
using RowValues = QList<QPair<QString, QVariant>>;

// One row of table data as the entry panel writes it: the kind, the date, the two texts and the
// six amounts, each by name.
struct CashRecord
{
    QString kind;          // a: 收入 or 支出
    QString date;          // day1, yyyy-mm-dd
    QString summary;       // b: 项目摘要
    QString counterparty;  // c: 单位名称
    double income = 0;     // "1": 收入合计
    double received = 0;   // "2": 已收金额
    double receivable = 0; // "3": 应收账款, income − received
    double expense = 0;    // "4": 支出合计
    double paid = 0;       // "5": 已付金额
    double payable = 0;    // "6": 应付账款, expense − paid

    // Every column a write sets and its value, the marker o='1' included.
    RowValues columnValues() const
    {
        return {{QStringLiteral("a"), kind},
                {QStringLiteral("b"), summary},
                {QStringLiteral("c"), counterparty},
                {QStringLiteral("1"), income},
                {QStringLiteral("2"), received},
                {QStringLiteral("3"), receivable},
                {QStringLiteral("4"), expense},
                {QStringLiteral("5"), paid},
                {QStringLiteral("6"), payable},
                {QStringLiteral("day1"), date},
                {QStringLiteral("o"), QStringLiteral("1")}};
    }

    // The record a row holds (a missing or null column reads as empty or 0).
    static CashRecord fromRow(const RowValues& row)
    {
        static constexpr double CashRecord::*kAmounts[] = {
            &CashRecord::income,  &CashRecord::received, &CashRecord::receivable,
            &CashRecord::expense, &CashRecord::paid,     &CashRecord::payable};
        CashRecord r;
        for (const auto& [column, value] : row) {
            if (column == u"a")
                r.kind = value.toString();
            else if (column == u"day1")
                r.date = value.toString();
            else if (column == u"b")
                r.summary = value.toString();
            else if (column == u"c")
                r.counterparty = value.toString();
            else if (column.size() == 1 && column[0] >= u'1' && column[0] <= u'6')
                r.*kAmounts[column[0].unicode() - u'1'] = value.toDouble();
        }
        return r;
    }
};
