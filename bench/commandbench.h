#pragma once

// The main window's commands on one book, to the painted grid, each beside a bare run of the
// statement it stands for on the same engine.
#include <QString>
#include <QVariantList>

#include <functional>

namespace bench {

class PrintedMessages;

// Runs a statement bare on the book's engine, reading every cell; gives milliseconds.
using BareRun = std::function<double(const QString& statement, const QVariantList& values)>;

double loadAverage(); // the last minute's, from /proc/loadavg
void printCommandHeader();
// Starts the main window on book, logs in and times login, 全部记录, add, modify, delete, a
// search keystroke and the balance; printed as rows of the command table.
void benchCommands(const QString& book, const char* engine, int records, const BareRun& bare);
// Errors are printed; questions are answered yes while records are written.
PrintedMessages& printedMessages();

} // namespace bench
