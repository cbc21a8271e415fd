#pragma once

#include "data/errors.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

// Copies of a book that may be in use by other running copies go through SQLite itself: a
// backup is one consistent snapshot, and a restore replaces the live book's pages in one
// transaction, so other connections stay valid and simply see the restored rows.
namespace bookcopy {

// The chosen file is no sound book: nothing was changed.
class BadBackup : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// Called between steps with the pages copied so far and in all; (0, 0) while a long check
// runs. False abandons the work.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Writes a consistent snapshot of the book at source to target (temporary file beside it,
// integrity check, fsync, rename). A snapshot of a damaged book fails unless checked is false.
void snapshot(const QString& source, const QString& target, const Progress& progress = {},
              bool checked = true);

// Moves a book between a local file and a server: a server book into a new local file (a
// snapshot), or a local book into a server book that holds no records yet (its tables are
// created in an empty database). Throws with the reason; nothing is changed then.
void copyBook(const QString& from, const QString& to);

// The dated name the book keeps before a restore: "data.mdb.before-restore-YYYYMMDD-HHMMSS".
QString safetyCopyName(const QString& book, const QDateTime& when);

// Removes a book's file with its journal and WAL companions.
void removeWithCompanions(const QString& path);

// Removes temporary files that a killed backup, restore or conversion left in folder. Files
// that a running copy is still writing are left alone.
void removeLeftovers(const QString& folder);

// A restore in two steps, so that the operator can be asked in between.
class Restore
{
public:
    Restore(const QString& backup, const QString& book);
    ~Restore();
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

    // Checks the whole backup on a private snapshot beside the book; throws BadBackup.
    void check(const Progress& progress = {});
    // Keeps the book as a safety copy, then writes the checked snapshot into it. Returns the
    // safety copy's path (empty when there was no book).
    QString replace(const Progress& progress = {});

private:
    struct Staging;
    QString m_backup;
    QString m_book;
    std::unique_ptr<Staging> m_staging;
};

} // namespace bookcopy
