#pragma once

#include <QString>

// Books kept in the Access format (a Jet 3 or Jet 4 data.mdb) become books of ours once,
// at start-up; the original file stays as it was under another name.
namespace legacy {

// True when the file at path starts as a Jet 3 or Jet 4 database ("Standard Jet DB").
bool isAccessBook(const QString& path);

struct Counts
{
    int records = 0;
    int users = 0;
    int logins = 0;
};

// The name the original keeps: path + ".access", or ".access.1", ".access.2", ... when
// that is taken.
QString keptName(const QString& path);

// Reads data, userdb and rz from the Access file at path, writes them into a new book in a
// temporary file beside it, then renames the original to keptName(path) and the new book to
// path. Passwords are hashed as a fresh book stores them. Throws QuenvaleError with the
// cause; then the original is still at path, untouched, and no new file is left behind.
Counts convertBook(const QString& path);

} // namespace legacy
