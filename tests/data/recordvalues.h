#pragma once

#include "data/cashrecord.h"

#include <QString>

// The record a driver writes as its n-th, so a checker can tell a complete row from a torn one.
struct RecordValues : CashRecord
{
    static RecordValues forNumber(const QString& tag, int n)
    {
        RecordValues r;
        const bool income = n % 3 != 0;
        r.kind = income ? QStringLiteral("收入") : QStringLiteral("支出");
        r.date = QStringLiteral("2016-%1-%2")
                     .arg(n % 12 + 1, 2, 10, QLatin1Char('0'))
                     .arg(n % 28 + 1, 2, 10, QLatin1Char('0'));
        r.summary = QStringLiteral("%1-项目'%2").arg(tag).arg(n);
        r.counterparty = QStringLiteral("单位%1").arg(n % 17);
        const double total = 100.25 + n;
        const double part = total / 3.0;
        if (income) {
            r.income = total;
            r.received = part;
            r.receivable = total - part;
        } else {
            r.expense = total;
            r.paid = part;
            r.payable = total - part;
        }
        return r;
    }
};
