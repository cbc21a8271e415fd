#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

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
    QList<QPair<QString, QVariant>> columnValues() const
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
};
