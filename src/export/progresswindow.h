#pragma once

#include <QWidget>

class QProgressBar;

// The small borderless window that says an export is running. It is painted by explicit
// repaints: the export runs without returning to the event loop.
class ExportProgressWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ExportProgressWindow(int recordCount);

    QProgressBar* bar() const { return m_bar; }
    // Moves the bar and repaints it at once.
    void setPosition(int position);

private:
    QProgressBar* m_bar;
};
