#pragma once

// What the benchmark's parts share: the synthetic book, bare SQLite timings, best-of runs,
// memory readings, the table's rows and waiting for a paint or a filled-in listing.
#include "gui/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace bench {

// Errors go to standard error: there is nobody to close a box.
class PrintedMessages : public MessageService
{
public:
    void warning(QWidget*, const QString& t) override { print("warning", t); }
    void information(QWidget*, const QString& t) override
    {
        if (!answerYes)
            print("information", t);
    }
    void critical(QWidget*, const QString& t) override { print("critical", t); }
    bool question(QWidget*, const QString& t, const QString&) override
    {
        if (!answerYes)
            print("question", t);
        return answerYes;
    }
    bool answerYes = false; // and nothing printed but warnings and errors
    bool yesNo(QWidget*, const QString&, const QString& t, bool) override
    {
        print("yes/no", t);
        return false;
    }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }

private:
    static void print(const char* kind, const QString& text)
    {
        std::fprintf(stderr, "[%s] %s\n", kind, text.toUtf8().constData());
    }
};

// Catches the grid's first paint after a command.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget* widget) : m_widget(widget) { widget->installEventFilter(this); }
    void arm() { m_painted = false; }
    // Runs the event loop until the widget has painted (or 60 s have gone).
    void waitForPaint()
    {
        QElapsedTimer limit;
        limit.start();
        while (!m_painted && limit.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint)
            m_painted = true;
        return false;
    }

private:
    QWidget* m_widget;
    bool m_painted = false;
};

// The statements of the two entry lists and of the base listing, run bare.
extern const char* const kAllRecordsSql[3];

// A book of records with Chinese summaries and counterparties, thousands of them distinct.
void fillBook(const QString& path, int records);
// Runs statements (with one bound text each, or none) bare, reading every value of every row.
double bareMs(const QString& path, const std::vector<std::pair<const char*, const char*>>& runs);
double bestOf(int runs, const std::function<void()>& prepare, const std::function<void()>& work);
double bestBare(int runs, const QString& path,
                const std::vector<std::pair<const char*, const char*>>& statements);
double residentMb();
double anonymousMb();
void row(const char* what, int records, double ms, double bare, const char* unit = "ms");
void touchBook();
void waitUntilRead();
// Under perf record -D -1 --control fifo:FIFO with QUENVALE_PERF_FIFO=FIFO, only the part named
// by QUENVALE_PERF_PART (a row's name) is collected.
void perfCollect(const char* part, bool on);

} // namespace bench
