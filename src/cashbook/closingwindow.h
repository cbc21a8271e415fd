#pragma once

#include <QWidget>

class BookWriter;
class DateField;
class QLabel;
class QLineEdit;
class QPushButton;
struct RowChange;

// "月末结账", the administrator's: the book's opening cash balance and its date, the month the
// book is closed through, closing every month up to a chosen one (结 账) and reopening the
// latest closed month (反结账), each after a question. What the book holds is shown again after
// every write of the book's facts the writer announces.
class MonthClosingWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MonthClosingWindow(QWidget* owner = nullptr);

    // The writer of the book the window works on; shows what the book holds.
    void setWriter(BookWriter* writer);
    void refresh();

    void openingClick(); // 设置期初余额
    void closeClick();   // 结 账
    void reopenClick();  // 反结账

    QLabel* closedLabel = nullptr;    // 已结账至：yyyy-MM, or that no month is closed
    QLabel* openingLabel = nullptr;   // the opening balance the book holds
    QLineEdit* openingEdit = nullptr; // 期初余额：
    DateField* openingDate = nullptr; // 日  期：
    QPushButton* openingButton = nullptr;
    QLineEdit* monthEdit = nullptr; // 结账月份： yyyy-MM
    QPushButton* closeMonthButton = nullptr;
    QPushButton* reopenButton = nullptr;
    QPushButton* exitButton = nullptr; // 关 闭

private:
    void follow(const QList<RowChange>& changes);

    BookWriter* m_writer = nullptr;
};
