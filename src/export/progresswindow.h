#pragma once

#include <QElapsedTimer>
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
    // Moves the bar and repaints it: at once for the first and the last position, otherwise at
    // most every 50 ms, since a repaint per row slows the export itself.
    void setPosition(int position);

private:
    QProgressBar* m_bar;
    QElapsedTimer m_sincePaint;
};
