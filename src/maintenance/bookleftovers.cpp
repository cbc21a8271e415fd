#include "maintenance/bookcopy.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace bookcopy {

namespace {

// Files of the old naming carry no lock; one untouched this long belongs to nobody.
constexpr qint64 kAbandonedAfterSeconds = 600;

// A copy of a book cut short starts as one, or has not got its first bytes yet.
bool holdsBookOrNothing(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(16);
    return start.isEmpty() || start == QByteArray("SQLite format 3\0", 16);
}

} // namespace

void removeLeftovers(const QString& folder)
{
    static const QRegularExpression ours(
        QStringLiteral("^\\..+\\.qvtmp-[A-Za-z0-9]{6}(-journal|-wal|-shm)?$"));
    // What earlier versions and the start-up conversion leave behind: random suffixes, which
    // a name of the operator's own (".data.mdb.backup") is not.
    static const QRegularExpression older(QStringLiteral(
        "^(\\..+\\.mdb\\.|.+\\.mdb\\.converting-)(?=[a-z]*[A-Z0-9])[A-Za-z0-9]{6}$"));
    const QDir dir(folder);
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-kAbandonedAfterSeconds);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (ours.match(name).hasMatch()) {
            const QString main = entry.absoluteFilePath().section(
                QRegularExpression(QStringLiteral("-(journal|wal|shm)$")), 0, 0);
            const int fd = ::open(QFile::encodeName(main).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                if (errno == ENOENT)
                    QFile::remove(entry.absoluteFilePath()); // a companion without its book
                continue;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                removeWithCompanions(main);
            ::close(fd);
        } else if (older.match(name).hasMatch() && entry.lastModified() < stale &&
                   holdsBookOrNothing(entry.absoluteFilePath())) {
            removeWithCompanions(entry.absoluteFilePath());
        }
    }
}

} // namespace bookcopy
