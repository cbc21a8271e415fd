#pragma once

#include "data/cashrecord.h"
#include "data/dataset.h"
#include "gui/datefield.h"

#include <QDate>
#include <QFrame>
#include <QPointer>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class NameLists;
class RecordGrid;

// The floating panel in which one record is typed, added, changed and deleted.
class EntryPanel : public QFrame
{
    Q_OBJECT

public:
    explicit EntryPanel(QWidget* parent = nullptr);

    void setDate(const QDate& date);

    // Commands.
    void newRecord();     // 新建记录
    void openForModify(); // double-click, 修 改 in the grid's menu
    void Button1Click();  // 新 增
    void Button3Click();  // 修 改
    void deleteRecord();  // 删除记录
    void closePanel();    // the red cross

    // Steps behind the hidden buttons.
    void computeStep();   // Button4 计算
    void kindStep();      // Button6 类别选择
    void kindStateStep(); // Button5
    void clearStep();     // Button9 清空

    // Refills the item-summary and counterparty lists with the book's distinct values when the
    // book's records may have changed since they were filled (while the panel is hidden, when
    // it next opens); the texts are emptied either way.
    void refillLists(Dataset* scratch);

    // The book it works on: the listing (ADOQuery15), the insert cursor (ADOTable5) and the
    // book's connection. Every write goes through the listing's writer, whose announcements
    // the listing and the name lists follow.
    void bind(Dataset* listing, Dataset* inserts, std::function<QSqlDatabase()> connection);
    // The grid it works on, the command that reloads it and the delete button it disables.
    void bindWindow(RecordGrid* grid, std::function<void()> allRecords, QWidget* deleteButton);

    QComboBox* ComboBox1 = nullptr;         // 收支类别: 收入 or 支出 (column a)
    DateField* DBDateTimeEditEh1 = nullptr; // 日 期 (column day1)
    QComboBox* ComboBox3 = nullptr;         // 项目摘要 (column b), listing the book's summaries
    QComboBox* ComboBox2 = nullptr; // 单位名称 (column c), listing the book's counterparties
    QLineEdit* Edit9 = nullptr;     // 收入合计 (column "1")
    QLineEdit* Edit13 = nullptr;    // 已收金额 (column "2"); follows Edit9
    QLineEdit* Edit28 = nullptr;    // 支出合计 (column "4")
    QLineEdit* Edit1 = nullptr;     // 已付金额 (column "5"); follows Edit28
    QLineEdit* Edit3 = nullptr;     // hidden: 应收账款 (column "3") = Edit9 − Edit13
    QLineEdit* Edit4 = nullptr;     // hidden: 应付账款 (column "6") = Edit28 − Edit1
    QPushButton* Button1 = nullptr; // 新 增: adds the record (Button1Click)
    QPushButton* Button3 = nullptr; // 修 改: writes the opened record (Button3Click)
    QPushButton* Button4 = nullptr; // hidden 计算: computeStep
    QPushButton* Button5 = nullptr; // hidden: kindStateStep
    QPushButton* Button6 = nullptr; // hidden 类别选择: kindStep
    QPushButton* Button9 = nullptr; // hidden 清空: clearStep
    QLabel* Image1 = nullptr;       // the red cross that closes the panel

    // Amounts from here on are refused at entry: 12 integer digits at most.
    static constexpr double kAmountLimit = 1e12;

    // The key of the record opened for modifying; 0 in add mode.
    qint64 openedKey() const { return m_openedKey; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static inline const QString kIncome = QStringLiteral("收入");
    static inline const QString kExpense = QStringLiteral("支出");

    void buildFields();
    void buildButtons();
    void connectSteps();
    void requireBook() const;
    void rereadAfterConflict();   // after a refusal: the listing as the book holds it now
    CashRecord validatedRecord(); // converts and checks everything before a write
    bool validate();
    bool kindIsKnown();
    // The four typed amounts with their names for messages.
    QList<QPair<QLineEdit*, QString>> amountFields() const;
    bool amountsWithinLimit();     // and on the cent
    bool storedAmountsTypedOver(); // a stored text that is no number is never saved

    void setAmountState(bool incomeWritable);
    void writeRecord(Dataset* target, const CashRecord& record);
    void listsForOpening(); // the lists read now when the last listing left them unread
    void fillLists();
    void listsAfterOwnWrite(); // read again when they could not follow and are in view

    Dataset* m_listing = nullptr;
    Dataset* m_inserts = nullptr;
    std::function<QSqlDatabase()> m_connection;
    RecordGrid* m_grid = nullptr;
    QWidget* m_deleteButton = nullptr;
    std::function<void()> m_allRecords;
    qint64 m_openedKey = 0;
    CashRecord m_opened; // the record as it was opened for modifying
    QPoint m_dragOffset;
    bool m_dragging = false;
    bool m_loading = false;
    QPointer<Dataset> m_scratch; // where the lists are read
    NameLists* m_names = nullptr;
};
