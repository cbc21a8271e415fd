#pragma once

#include <QString>

namespace bookcheck {

// True when path holds a sound Quenvale book: an SQLite file that opens, passes SQLite's full
// check and has the tables data, userdb and rz with their columns. The file is opened read-only
// and never changed. On false, reason says why.
bool isBook(const QString& path, QString* reason = nullptr);

} // namespace bookcheck
