#pragma once

#include <QDateTime>
#include <QString>

class Dataset;

// The login log: one row per login, closed with the logout time.
namespace loginlog {

// Writes this run's row and gives its id: the row this insert made, even while other copies
// of the program log in at the same moment.
qint64 open(Dataset* query, const QString& user, const QDateTime& at);

// Writes the logout time into the row; nothing for id 0 (nobody logged in).
void close(Dataset* query, qint64 id, const QDateTime& at);

} // namespace loginlog
