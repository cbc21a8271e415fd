#pragma once

#include "bills/bankmapping.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

// The mapping step of "导入账单" for a CSV that is neither bill: the file's first rows, the
// encoding, the rows to skip and which named column holds each field.
class BankMappingPage : public QWidget
{
    Q_OBJECT

public:
    explicit BankMappingPage(QWidget* parent = nullptr);

    // Shows the file and fills the choices from mapping.
    void setFile(const bills::BillFile& file, const bills::BankMapping& mapping);
    // The mapping as chosen now.
    bills::BankMapping mapping() const;

    QTableWidget* sampleView = nullptr;
    QComboBox* encodingBox = nullptr;
    QSpinBox* skipTopBox = nullptr;
    QSpinBox* skipBottomBox = nullptr;
    QComboBox* dateBox = nullptr;
    QComboBox* amountBox = nullptr;
    QComboBox* incomeBox = nullptr;
    QComboBox* expenseBox = nullptr;
    QComboBox* counterpartyBox = nullptr;
    QComboBox* summaryBox = nullptr;
    QComboBox* referenceBox = nullptr;
    QPushButton* previewButton = nullptr;

private:
    // Reads the rows in the chosen encoding and offers the names of the header row.
    void reload();
    QList<QComboBox*> columnBoxes() const;

    bills::BillFile m_file;
    bills::Table m_table;
    QStringList m_header;
    bool m_loading = false;
};
