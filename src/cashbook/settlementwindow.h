#pragma once

#include "data/settlement.h"

#include <QDialog>

class BookWriter;
class DateField;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// "收款登记" (a record of income) or "付款登记" (of expense): money received or paid later on one
// record, on its own day. Shows the record with what is still open, takes the day, the amount
// and a note, and lists the record's earlier settlements, which the administrator can cancel.
class SettlementWindow : public QDialog
{
    Q_OBJECT

public:
    // Opens the window over owner on record key, or says why there is nothing to register and
    // gives nullptr. Settlements are signed by user.
    static SettlementWindow* openFor(QWidget* owner, BookWriter* writer, qint64 key,
                                     const QString& user);

    SettlementWindow(QWidget* owner, BookWriter* writer, settlement::Target target,
                     const QString& user);

    void okClick();     // 确 定: stores the settlement, says so and closes
    void revokeClick(); // 撤销登记: cancels the chosen settlement after a question
    // Reads the record and its settlements again.
    void reload();
    const settlement::Target& target() const { return m_target; }

    QLabel* recordDay = nullptr; // the record: date, summary, counterparty and its figures
    QLabel* recordSummary = nullptr;
    QLabel* recordParty = nullptr;
    QLabel* recordTotal = nullptr;
    QLabel* recordDone = nullptr;    // received or paid so far
    QLabel* recordRest = nullptr;    // still open
    QLabel* closedHint = nullptr;    // shown when nothing is open any more
    DateField* dateField = nullptr;  // 日  期：, today
    QLineEdit* amountEdit = nullptr; // 金  额：, the open rest
    QLineEdit* noteEdit = nullptr;   // 备  注：
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QTableWidget* settlementsView = nullptr; // the record's settlements
    QPushButton* revokeButton = nullptr;     // 撤销登记, the administrator's

private:
    void build();
    void showTarget();
    // The typed amount in money units; false after saying what is wrong with it.
    bool typedAmount(qint64* units);
    QString side() const;

    BookWriter* m_writer;
    settlement::Target m_target;
    QString m_user;
    QLabel* m_totalCaption = nullptr;
    QLabel* m_doneCaption = nullptr;
    QLabel* m_restCaption = nullptr;
};
