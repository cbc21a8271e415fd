#pragma once

#include <QString>

class QApplication;
class QCoreApplication;
class QCommandLineParser;

namespace startup {

// Title, fonts and the like; before any window exists.
void prepareApplication(QApplication& app);

// Creates the main window, the login window and the data module, in that order, and shows
// the main window. Gives false (after reporting on standard error and in a box) when the
// book cannot be opened; then no window is left.
bool createWindows(const QString& book = {}); // an empty book is data.mdb

// Destroys what createWindows made.
void destroyWindows();

// SIGTERM, SIGINT and SIGHUP, and the end of the desktop session, close the program as the
// operator would: the main window's close with its logout, then the end of the message loop.
void installOrderlyExit(QApplication& app);

// That close; false when the main window refused to close (the logout failed and was reported).
bool closeOrderly();

// The program's options (--book, --help, --version), for its command line and its manual.
void describeOptions(QCommandLineParser& parser);

// True when the command line asks only for the help or the version, which need no display.
bool answersAlone(int argc, char* argv[]);
// Prints that answer and ends the program.
int answer(QCoreApplication& app);

// The whole program: the windows and the message loop; its exit status.
int run(QApplication& app);

} // namespace startup
