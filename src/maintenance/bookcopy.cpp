#include "maintenance/bookcopy.h"

#include "data/bookrows.h"
#include "data/dm.h"
#include "data/foreigncode.h"
#include "data/history.h"
#include "data/layout.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "maintenance/bookcheck.h"
#include "maintenance/filecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bookcopy {

void removeWithCompanions(const QString& path)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

namespace {

// About a megabyte of 4 KiB pages between two looks at the progress.
constexpr int kPagesPerStep = 256;
constexpr int kBusyTimeoutMs = 5000;
const QString kTemporaryMark = QStringLiteral(".qvtmp-");

// SQLite's failure with its result code, so a damaged file can be told from a full disk.
class SqliteFailure : public DatabaseError
{
public:
    SqliteFailure(sqlite3* db, int code)
        : DatabaseError(db ? QString::fromUtf8(sqlite3_errmsg(db))
                           : QString::fromUtf8(sqlite3_errstr(code))),
          m_code(code & 0xff)
    {
    }
    bool damaged() const { return m_code == SQLITE_CORRUPT || m_code == SQLITE_NOTADB; }

private:
    int m_code;
};

class Abandoned : public QuenvaleError
{
public:
    Abandoned() : QuenvaleError(QStringLiteral("The copy was abandoned.")) {}
};

// One private connection, closed on every way out.
class Connection
{
public:
    Connection(const QString& path, int flags)
    {
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const SqliteFailure failure(m_db, rc);
            sqlite3_close(m_db);
            throw failure;
        }
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return m_db; }
    void exec(const char* statement)
    {
        const int rc = sqlite3_exec(m_db, statement, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw SqliteFailure(m_db, rc);
    }
    // Empty when SQLite finds the file sound, else its first complaint.
    QString integrityProblem(const Progress& progress)
    {
        struct Watch
        {
            const Progress* progress;
            static int tick(void* self)
            {
                const Progress* p = static_cast<Watch*>(self)->progress;
                return (*p && !(*p)(0, 0)) ? 1 : 0;
            }
        } watch{&progress};
        // The check compares every index with its table: a cache that holds them both saves
        // reading pages again (a quarter of the check's time for 100,000 records).
        sqlite3_exec(m_db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
        sqlite3_progress_handler(m_db, 20000, &Watch::tick, &watch);
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "PRAGMA integrity_check(1)", -1, &stmt, nullptr);
        QString answer;
        if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW)
            answer = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        if ((rc & 0xff) == SQLITE_INTERRUPT)
            throw Abandoned();
        if (rc != SQLITE_ROW)
            throw SqliteFailure(m_db, rc);
        return answer == u"ok" ? QString() : answer;
    }

private:
    sqlite3* m_db = nullptr;
};

// Copies every page of from into to; the destination is written in one transaction, so it is
// the old content or the new one, never a mixture.
void copyPages(Connection& from, Connection& to, const Progress& progress)
{
    sqlite3_backup* backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!backup)
        throw SqliteFailure(to.handle(), sqlite3_errcode(to.handle()));
    int rc = SQLITE_OK;
    while (rc == SQLITE_OK) {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        const qint64 total = sqlite3_backup_pagecount(backup);
        if (rc == SQLITE_OK && progress &&
            !progress(total - sqlite3_backup_remaining(backup), total)) {
            sqlite3_backup_finish(backup);
            throw Abandoned();
        }
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw SqliteFailure(to.handle(), rc);
}

} // namespace

// A hidden file beside the final one, locked while in use so that a cleanup run by another
// copy leaves it alone; removed (with SQLite's companions) unless it was renamed into place.
class TemporaryBook
{
public:
    explicit TemporaryBook(const QString& beside)
    {
        const QFileInfo info(beside);
        QByteArray name =
            QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              kTemporaryMark + QStringLiteral("XXXXXX"));
        m_fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (m_fd < 0)
            throw QuenvaleError(QStringLiteral("Cannot write in '%1': %2")
                                    .arg(info.absolutePath(), qt_error_string(errno)));
        ::flock(m_fd, LOCK_EX | LOCK_NB);
        m_path = QFile::decodeName(name);
    }
    ~TemporaryBook()
    {
        if (!m_placed)
            removeWithCompanions(m_path);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TemporaryBook(const TemporaryBook&) = delete;
    TemporaryBook& operator=(const TemporaryBook&) = delete;

    const QString& path() const { return m_path; }

    // Makes the content durable, then puts it in place of target in one rename.
    void place(const QString& target)
    {
        const QFileInfo info(target);
        if (info.isDir())
            throw QuenvaleError(QStringLiteral("Cannot replace '%1': it is a folder.").arg(target));
        ::fchmod(m_fd, filecopy::modeFor(target));
        if (::fsync(m_fd) != 0)
            throw QuenvaleError(
                QStringLiteral("Cannot write '%1': %2").arg(target, qt_error_string(errno)));
        if (::rename(QFile::encodeName(m_path).constData(),
                     QFile::encodeName(target).constData()) != 0)
            throw QuenvaleError(
                QStringLiteral("Cannot replace '%1': %2").arg(target, qt_error_string(errno)));
        m_placed = true;
        filecopy::syncFolder(info.absolutePath());
    }

private:
    QString m_path;
    int m_fd = -1;
    bool m_placed = false;
};

namespace {

// The snapshot itself, into a temporary book that the caller places.
void snapshotInto(const QString& source, TemporaryBook& into, const Progress& progress,
                  bool checked)
{
    Connection from(source, SQLITE_OPEN_READWRITE);
    // One read transaction across all steps: the copy is one moment of the book, and the
    // other copies' commits wait (within their busy timeout) instead of restarting it.
    from.exec("BEGIN; SELECT count(*) FROM sqlite_master");
    Connection to(into.path(), SQLITE_OPEN_READWRITE);
    copyPages(from, to, progress);
    from.exec("COMMIT");
    // The copy of a book kept in WAL mode says so in its header; ours stands alone.
    to.exec("PRAGMA journal_mode=DELETE");
    if (checked) {
        const QString problem = to.integrityProblem(progress);
        if (!problem.isEmpty())
            throw QuenvaleError(QStringLiteral("'%1' is damaged: %2").arg(source, problem));
    }
}

// A server book's snapshot: one REPEATABLE READ transaction written into a fresh local book.
void serverSnapshotInto(const QString& source, TemporaryBook& into, bool checked)
{
    sql::ScopedConnection from(source);
    sql::exec(from.db(),
              QStringLiteral("begin transaction isolation level repeatable read read only"));
    {
        sql::ScopedConnection to(into.path());
        sql::Transaction tx(to.db());
        schema::createTables(to.db());
        bookrows::copy(from.db(), to.db());
        tx.commit();
    }
    sql::exec(from.db(), QStringLiteral("commit"));
    QString problem;
    if (checked && !bookcheck::isBook(into.path(), &problem))
        throw QuenvaleError(QStringLiteral("The copy of '%1' is not sound: %2")
                                .arg(server::displayName(source), problem));
}

// The history entry of a restore, as the restored book carries it from its first moment.
history::Change restoreEntry(const QString& backup, const QString& safety)
{
    history::Values note = {{QStringLiteral("备份文件"), backup}};
    if (!safety.isEmpty())
        note.append({QStringLiteral("恢复前的账本副本"), safety});
    return {history::Kind::Book, QString(), 0, {}, note};
}

// The checked backup as the book is to hold it: in the current layout, giving no key the book
// has given already (a record opened elsewhere must not come to mean another one), and its
// history numbered on after the book's, ending with the restore's own entry.
void bringUpToDate(const QString& staged, const QString& book, const history::Change& entry)
{
    sql::ScopedConnection to(staged);
    layout::upgrade(to.db());
    QList<qint64> last;
    qint64 lastEntry = 0;
    // Opening a book that is no file would make an empty one; one SQLite cannot read has no
    // keys to keep.
    if (QFileInfo(book).isFile()) {
        try {
            sql::ScopedConnection live(book);
            for (const QString& table : bookrows::keyedTables())
                last << bookrows::lastKey(live.db(), table);
            lastEntry = history::lastNumber(live.db());
        } catch (const QuenvaleError&) {
        }
    }
    sql::Transaction tx(to.db());
    for (qsizetype i = 0; i < last.size(); ++i)
        bookrows::keepKeysAbove(to.db(), bookrows::keyedTables().at(i), last.at(i));
    history::append(to.db(), history::currentOperator(), QString(), {entry}, lastEntry);
    tx.commit();
}

// Where a restore into a server book stages the checked backup.
QString stagingPlace(const QString& book)
{
    return server::isServerBook(book)
               ? QDir::temp().filePath(QStringLiteral("quenvale-restore.mdb"))
               : book;
}

} // namespace

void snapshot(const QString& source, const QString& target, const Progress& progress, bool checked)
{
    TemporaryBook temporary(target);
    if (server::isServerBook(source))
        serverSnapshotInto(source, temporary, checked);
    else
        snapshotInto(source, temporary, progress, checked);
    temporary.place(target);
}

void copyBook(const QString& from, const QString& to)
{
    if (server::isServerBook(from) == server::isServerBook(to))
        throw QuenvaleError(QStringLiteral("一端须是本地账本文件，另一端须是服务器账本。"));
    if (server::isServerBook(from)) {
        if (QFileInfo::exists(to))
            throw QuenvaleError(QStringLiteral("“%1”已经存在，未作改动。").arg(to));
        snapshot(from, to);
        return;
    }
    QString problem;
    if (!bookcheck::isBook(from, &problem))
        throw QuenvaleError(QStringLiteral("“%1”不是有效的账本：%2").arg(from, problem));
    sql::ScopedConnection target(to);
    if (server::layoutProblem(target.db()).isEmpty()) {
        QSqlQuery q = sql::exec(target.db(), QStringLiteral("select (select count(*) from data) + "
                                                            "(select count(*) from rz)"));
        if (q.next() && q.value(0).toLongLong() > 0)
            throw QuenvaleError(QStringLiteral("服务器账本“%1”中已经有记录，未作改动。")
                                    .arg(server::displayName(to)));
    } else {
        server::createSchema(target.db());
    }
    sql::ScopedConnection source(from);
    sql::Transaction tx(target.db());
    bookrows::clear(target.db());
    bookrows::copy(source.db(), target.db());
    tx.commit();
}

QString safetyCopyName(const QString& book, const QDateTime& when)
{
    return book + QStringLiteral(".before-restore-") +
           when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

struct Restore::Staging
{
    explicit Staging(const QString& book) : file(book) {}
    TemporaryBook file;
    bool checked = false;
};

Restore::Restore(const QString& backup, const QString& book) : m_backup(backup), m_book(book) {}

Restore::~Restore() = default;

void Restore::check(const Progress& progress)
{
    const QString bad = QStringLiteral("备份文件不是有效的数据库！");
    try {
        Tdmfm::checkBook(m_backup);
    } catch (const QuenvaleError&) {
        throw BadBackup(bad);
    }
    // A WAL beside a book that is not in WAL mode belongs to some other file: its rows could
    // neither be trusted nor left out silently.
    QFile header(m_backup);
    const QByteArray start = header.open(QIODevice::ReadOnly) ? header.read(20) : QByteArray();
    const bool walMode = start.size() == 20 && start.at(18) == 2;
    const QFileInfo wal(m_backup + QStringLiteral("-wal"));
    if (!walMode && wal.exists() && wal.size() > 0)
        throw BadBackup(
            QStringLiteral("备份文件旁有一个不属于它的日志文件“%1”，无法确认其中的记录，"
                           "恢复已取消。")
                .arg(wal.fileName()));

    removeLeftovers(QFileInfo(stagingPlace(m_book)).absolutePath());
    m_staging = std::make_unique<Staging>(stagingPlace(m_book));
    try {
        snapshotInto(m_backup, m_staging->file, progress, false);
    } catch (const SqliteFailure& e) {
        if (e.damaged())
            throw BadBackup(bad);
        throw;
    }
    // The whole check (integrity and the tables with their columns) on the private snapshot.
    if (!bookcheck::isBook(m_staging->file.path()))
        throw BadBackup(bad);
    {
        sql::ScopedConnection staged(m_staging->file.path());
        const QList<foreigncode::Item> foreign = foreigncode::find(staged.db());
        if (!foreign.isEmpty())
            throw BadBackup(
                QStringLiteral("备份文件中有不是本程序建立的程序代码，恢复已取消：\n%1\n"
                               "这样的代码会在使用账本时自动运行，可能暗中修改或删除"
                               "记录。")
                    .arg(foreigncode::describe(foreign)));
        const int version = layout::versionOf(staged.db());
        if (version > schema::kVersion)
            throw BadBackup(layout::newerText(m_backup, version));
    }
    m_staging->checked = true;
}

QString Restore::replace(const Progress& progress)
{
    if (!m_staging || !m_staging->checked)
        throw QuenvaleError(QStringLiteral("The backup has not been checked."));
    if (server::isServerBook(m_book)) {
        // The server book is kept as a local safety copy, then its rows are replaced in one
        // transaction: the other clients see the restored records at their next query.
        const QString base = QDir::home().filePath(QStringLiteral("quenvale-server-book.mdb"));
        QString safety = safetyCopyName(base, QDateTime::currentDateTime());
        for (int n = 1; QFileInfo::exists(safety); ++n)
            safety = safetyCopyName(base, QDateTime::currentDateTime()) + u'-' + QString::number(n);
        snapshot(m_book, safety, progress, false);
        sql::ScopedConnection from(m_staging->file.path());
        sql::ScopedConnection to(m_book);
        sql::Transaction tx(to.db());
        history::lock(to.db());
        const qint64 lastEntry = history::lastNumber(to.db());
        bookrows::clear(to.db());
        bookrows::copy(from.db(), to.db());
        history::append(to.db(), history::currentOperator(), QString(),
                        {restoreEntry(m_backup, safety)}, lastEntry);
        tx.commit();
        return safety;
    }
    const QFileInfo book(m_book);
    if (!book.exists() && !book.isSymLink()) {
        bringUpToDate(m_staging->file.path(), m_book, restoreEntry(m_backup, QString()));
        m_staging->file.place(m_book);
        return QString();
    }
    if (book.isDir())
        throw QuenvaleError(QStringLiteral("Cannot replace '%1': it is a folder.").arg(m_book));

    QString safety = safetyCopyName(m_book, QDateTime::currentDateTime());
    for (int n = 1; QFileInfo::exists(safety); ++n)
        safety = safetyCopyName(m_book, QDateTime::currentDateTime()) + u'-' + QString::number(n);
    bool damaged = false;
    try {
        snapshot(m_book, safety, progress, false);
    } catch (const SqliteFailure& e) {
        if (!e.damaged())
            throw;
        // A book SQLite can no longer read is kept as it lies on the disk.
        QString error;
        if (!filecopy::copyFile(m_book, safety, &error))
            throw QuenvaleError(error);
        damaged = true;
    }
    // An older backup comes back in the current layout; the safety copy keeps the book as it was.
    bringUpToDate(m_staging->file.path(), m_book, restoreEntry(m_backup, safety));

    if (!damaged) {
        try {
            Connection from(m_staging->file.path(), SQLITE_OPEN_READONLY);
            Connection to(m_book, SQLITE_OPEN_READWRITE);
            copyPages(from, to, progress);
            return safety;
        } catch (const SqliteFailure& e) {
            if (!e.damaged())
                throw;
        }
    }
    // Nobody can be using a damaged book: the checked file takes its place, and the old
    // journal goes with the safety copy, where it still belongs.
    for (const char* suffix : {"-journal", "-wal"}) {
        const QString companion = m_book + QLatin1String(suffix);
        if (QFileInfo::exists(companion))
            QFile::rename(companion, safety + QLatin1String(suffix));
    }
    QFile::remove(m_book + QStringLiteral("-shm"));
    m_staging->file.place(m_book);
    return safety;
}

} // namespace bookcopy
