#pragma once

#include "bills/billfile.h"
#include "bills/billpreview.h"

#include <QDialog>

class BankMappingPage;
class BillRowsModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableView;

namespace bills {
class BillStore;
class MappingStore;
} // namespace bills

// "导入账单": reads a bill in full and shows every row with what becomes of it; the operator
// ticks rows and takes in the skipped kinds, and "导 入" hands the chosen records to the store.
// An encrypted zip first asks for its password, a bank's CSV for its columns, in this window.
// Nothing reaches the book before "导 入".
class BillImportWindow : public QDialog
{
    Q_OBJECT

public:
    BillImportWindow(const QString& path, bills::BillStore& store, bills::MappingStore& mappings,
                     QWidget* parent = nullptr);
    ~BillImportWindow() override;

    // Reads the file and shows the first step. Throws BillError when there is nothing to show.
    void open();

    const bills::BillPreview& preview() const { return m_preview; }
    BillRowsModel* model() const { return m_model; }

    void passwordClick();
    void previewClick();
    void mappingClick();
    void importClick();
    void cancelClick();

    QStackedWidget* pages = nullptr;
    QWidget* passwordPage = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QLabel* passwordHint = nullptr;
    QPushButton* passwordButton = nullptr;
    BankMappingPage* mappingPage = nullptr;
    QWidget* previewPage = nullptr;
    QLabel* titleLabel = nullptr;
    QTableView* rowsView = nullptr;
    QCheckBox* notCountedBox = nullptr;
    QCheckBox* neutralBox = nullptr;
    QCheckBox* closedBox = nullptr;
    QLabel* summaryLabel = nullptr;
    QPushButton* mappingButton = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* cancelButton = nullptr;

private:
    void buildPasswordPage();
    void buildPreviewPage();
    // The file is read: a payment bill or a remembered bank layout goes to the preview, any
    // other table to the mapping step.
    void showFile();
    void showPreview(bills::Bill bill);
    void choicesChanged();
    void updateSummary();

    QString m_path;
    bills::BillStore& m_store;
    bills::MappingStore& m_mappings;
    bills::BillFile m_file;
    bills::BillPreview m_preview;
    BillRowsModel* m_model = nullptr;
};

// Runs the whole import of one file: reads it, shows "导入账单" modally and stores what the
// operator chooses through store. mappings: where bank layouts are remembered (the settings
// when none). False when nothing was imported.
bool runBillImport(QWidget* parent, const QString& path, bills::BillStore& store,
                   bills::MappingStore* mappings = nullptr);
