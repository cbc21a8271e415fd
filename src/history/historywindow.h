#pragma once

#include <QWidget>

#include <memory>

class DateField;
class HistoryModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class TPrintDBGridEh;
namespace history {
class ChainCheck;
}

// "修改记录": the book's change history, newest first, filtered by dates, user and text; the
// administrator sees every user's changes, others their own. It says whether the chain of
// hashes is whole ("记录完整") or names the first entry another program altered or removed, and
// exports and prints what it lists.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryWindow(QWidget* owner = nullptr);
    ~HistoryWindow() override;

    // Lists the entries as the filters stand.
    void refresh();
    // Checks the chain a slice at a time between events, then shows the verdict.
    void checkChain();
    void exportCsv();
    void exportXlsx();
    void printTable();

    const HistoryModel* model() const { return m_model; }

    QCheckBox* dateCheck = nullptr; // 日期：, the dates filter only while checked
    DateField* fromDate = nullptr;
    DateField* toDate = nullptr;
    QComboBox* userBox = nullptr;  // 全部 or one user; the operator alone for non-administrators
    QLineEdit* textEdit = nullptr; // 内容：, found in the action, the user and the values
    QPushButton* queryButton = nullptr;
    QTableView* view = nullptr;
    QLabel* chainLabel = nullptr; // 记录完整, or the first entry altered or removed
    QLabel* countLabel = nullptr;
    QPushButton* csvButton = nullptr;
    QPushButton* xlsxButton = nullptr;
    QPushButton* printButton = nullptr;
    QPushButton* closeButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildFilters();
    void fillUsers();
    void checkSlice();

    HistoryModel* m_model = nullptr;
    std::unique_ptr<history::ChainCheck> m_check;
    QTimer* m_checkTimer = nullptr;
    TPrintDBGridEh* m_printSettings = nullptr;
    QString m_operator;
    bool m_shown = false;
};
