#include "maintenance/filecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace filecopy {

namespace {

constexpr qint64 kBlockSize = 1 << 20;

QString systemError()
{
    return qt_error_string(errno);
}

// The temporary file beside the target; removed unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString& beside)
    {
        const QFileInfo info(beside);
        m_name = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                   QStringLiteral(".XXXXXX"));
        m_fd = ::mkstemp(m_name.data());
    }
    ~TemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept && isValid())
            ::unlink(m_name.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isValid() const { return m_fd >= 0 || m_closed; }
    int fd() const { return m_fd; }
    const char* name() const { return m_name.constData(); }

    bool writeAll(const char* data, qint64 size)
    {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, data, static_cast<size_t>(size));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= n;
        }
        return true;
    }
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        m_closed = true;
        return ::close(fd) == 0;
    }
    void keep() { m_kept = true; }

private:
    QByteArray m_name;
    int m_fd = -1;
    bool m_closed = false;
    bool m_kept = false;
};

} // namespace

QString resolveTarget(const QString& source, const QString& target)
{
    if (target.isEmpty())
        return QString();
    QString path = QDir::current().absoluteFilePath(target);
    if (QFileInfo(path).isDir())
        path = QDir(path).absoluteFilePath(QFileInfo(source).fileName());
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        path = info.canonicalFilePath();
    return path;
}

bool copyFile(const QString& source, const QString& target, QString* error,
              const Progress& progress)
{
    auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (target.isEmpty())
        return fail(QStringLiteral("No target file was given."));
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.exists())
        return fail(QStringLiteral("Cannot find '%1'.").arg(source));
    if (sourceInfo.isDir())
        return fail(QStringLiteral("'%1' is a folder, not a file.").arg(source));
    const QFileInfo targetInfo(target);
    if (targetInfo.fileName().isEmpty() || targetInfo.isDir())
        return fail(QStringLiteral("Cannot replace '%1': it is a folder.").arg(target));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read '%1': %2").arg(source, in.errorString()));

    TemporaryFile temporary(target);
    if (!temporary.isValid())
        return fail(QStringLiteral("Cannot write in '%1': %2")
                        .arg(targetInfo.absolutePath(), systemError()));

    const qint64 total = in.size();
    qint64 copied = 0;
    QByteArray block(kBlockSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0)
            return fail(QStringLiteral("Cannot read '%1': %2").arg(source, in.errorString()));
        if (n == 0)
            break;
        if (!temporary.writeAll(block.constData(), n))
            return fail(QStringLiteral("Cannot write '%1': %2").arg(target, systemError()));
        copied += n;
        if (progress && !progress(copied, total))
            return fail(QStringLiteral("The copy to '%1' was abandoned.").arg(target));
    }

    const QByteArray finalName = QFile::encodeName(targetInfo.absoluteFilePath());
    ::fchmod(temporary.fd(), modeFor(targetInfo.absoluteFilePath()));
    if (::fsync(temporary.fd()) != 0 || !temporary.close())
        return fail(QStringLiteral("Cannot write '%1': %2").arg(target, systemError()));
    if (::rename(temporary.name(), finalName.constData()) != 0)
        return fail(QStringLiteral("Cannot replace '%1': %2").arg(target, systemError()));
    temporary.keep();
    syncFolder(targetInfo.absolutePath());
    return true;
}

mode_t modeFor(const QString& target)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(target).constData(), &st) == 0)
        return st.st_mode & 07777;
    return 0600; // a book, a backup or a safety copy is for the owner's eyes only
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace filecopy
