#pragma once

#include "stats/receivables.h"
#include "stats/reportwindow.h"

class DateField;
class QComboBox;
class QPushButton;
class QRadioButton;

// "往来对账单": what one counterparty owed (应收) or was owed (应付) over a period: the balance
// before it, every record and settlement with the balance after it, and the period's totals.
class StatementWindow : public ReportWindow
{
    Q_OBJECT

public:
    explicit StatementWindow(QWidget* owner = nullptr);

    // Shows the statement of party on side, for the period chosen.
    void showParty(const QString& party, receivables::Side side);
    void refresh() override;
    // 查 询: says what is missing or wrong before it reads.
    void queryClick();
    receivables::Side side() const;

    QComboBox* partyCombo = nullptr; // 单位名称：, the book's counterparties
    DateField* fromDate = nullptr;   // 期间： first day
    DateField* toDate = nullptr;     // … last day
    QRadioButton* receivableButton = nullptr;
    QRadioButton* payableButton = nullptr;
    QPushButton* queryButton = nullptr;
};
