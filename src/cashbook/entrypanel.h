#pragma once

#include "data/dataset.h"

#include <QDate>
#include <QFrame>

#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
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
    // book may have changed since they were filled; the texts are emptied either way.
    void refillLists(Dataset* scratch);

    // The grid it works on and the command that reloads it.
    void bind(RecordGrid* grid, std::function<void()> allRecords, QWidget* deleteButton);

    QComboBox* ComboBox1 = nullptr; // kind
    QDateEdit* DBDateTimeEditEh1 = nullptr;
    QComboBox* ComboBox3 = nullptr; // item summary
    QComboBox* ComboBox2 = nullptr; // counterparty
    QLineEdit* Edit9 = nullptr;     // income total
    QLineEdit* Edit13 = nullptr;    // received
    QLineEdit* Edit28 = nullptr;    // expense total
    QLineEdit* Edit1 = nullptr;     // paid
    QLineEdit* Edit3 = nullptr;     // receivable, computed
    QLineEdit* Edit4 = nullptr;     // payable, computed
    QPushButton* Button1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button9 = nullptr;
    QLabel* Image1 = nullptr;

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
    struct Values;
    Values validatedValues(); // converts and checks everything before a write
    bool validate();
    bool amountsWithinLimit();
    void writeByKey(qint64 key, const Values& values);
    void setAmountState(bool incomeWritable);
    void writeValues(Dataset* target, const Values& values);

    RecordGrid* m_grid = nullptr;
    QWidget* m_deleteButton = nullptr;
    std::function<void()> m_allRecords;
    qint64 m_openedKey = 0;
    QPoint m_dragOffset;
    bool m_dragging = false;
    bool m_loading = false;
    bool m_listsFilled = false;
    Dataset::ChangeStamp m_listsStamp;
};
