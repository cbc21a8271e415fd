#pragma once

#include "stats/reportwindow.h"

class DateField;
class QPushButton;

// "账龄分析": the open receivables and payables of every counterparty at a day, by how long
// they have been open.
class AgingWindow : public ReportWindow
{
    Q_OBJECT

public:
    explicit AgingWindow(QWidget* owner = nullptr);

    void refresh() override;

    DateField* cutoffDate = nullptr; // 截止日期：, today at first
    QPushButton* queryButton = nullptr;
};
