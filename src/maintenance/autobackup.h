#pragma once

#include "maintenance/bookcopy.h"

#include <QDateTime>
#include <QList>
#include <QString>

// Backups the program takes by itself: at each orderly exit after a login and before a book's
// layout is upgraded. Each is a checked snapshot, as 数据备份 takes, named
// data-YYYYMMDD-HHMMSS.mdb in the folder backups beside the book (a server book's go to the
// user's data folder, backups/server-…); only the newest are kept.
namespace autobackup {

inline constexpr int kDefaultKept = 10;

// The setting autobackups: how many are kept; 10 when it is missing or no number of 0 or more.
// 0 turns the backup at exit off.
int keptCount();

// Where book's automatic backups go.
QString folderFor(const QString& book);

// Takes one into folderFor(book) (mode 0600) and gives its path. On failure it throws and leaves
// no file among the backups; a copy killed half-way leaves only a hidden temporary file, which
// the next backup clears.
QString take(const QString& book, const bookcopy::Progress& progress = {});

// Removes all but the newest keep of book's automatic backups.
void prune(const QString& book, int keep);

struct Entry
{
    QString path;
    QDateTime taken;
    qint64 size = 0;
    qint64 records = -1; // -1 when the file cannot be read as a book
};

// book's automatic backups, newest first.
QList<Entry> list(const QString& book);

// Brings an older book to the current layout in one transaction, right after an automatic
// backup, and gives that backup's path (empty for a current book). Throws layout::NewerLayout
// for a newer book; on any failure the book is as it was.
QString upgradeAfterBackup(const QString& book);

// Removes the triggers and views another program put into book, in one transaction, right after
// an automatic backup, and gives that backup's path.
QString removeForeignCodeAfterBackup(const QString& book);

} // namespace autobackup
