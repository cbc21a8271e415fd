#pragma once

#include <QString>

// Where the book lives. Run from its build folder, the program keeps data.mdb beside itself in
// the working folder, as always. An installed copy cannot write beside itself: its book lives
// in the user's data folder, which becomes the working folder, and the first start there
// offers to create a book or to take an existing one in.
namespace bookplace {

// The book template an installed tree carries, relative to the program's folder.
QString templatePath(const QString& programDir);

// True for an installed copy: its folder is not writable, or it sits in an installed tree
// (beside the book template; root may write anywhere).
bool isInstalled(const QString& programDir);

// The user's data folder for the book.
QString dataFolder();

// The first start's question for a data folder without a book: 0 新建空账本, 1 选择已有账本…,
// 2 退出 (also Escape).
int askHowToStart(const QString& folder);

// Run before the data module opens the book. For an installed copy: makes the data folder the
// working folder and, when it holds no book, asks how to get one. False when the program
// should end (the operator left, or the folder cannot be used; both already said).
bool prepare(const QString& programDir);

} // namespace bookplace
