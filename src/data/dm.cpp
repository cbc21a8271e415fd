#include "data/dm.h"

#include "data/layout.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

Tdmfm* dmfm = nullptr;

namespace {

QString connectionNameFor(const void* owner)
{
    return QStringLiteral("ADOConnection1-%1").arg(reinterpret_cast<quintptr>(owner), 0, 16);
}

// Write permission as this process's effective user has it (ACLs and read-only mounts count).
int writeDenied(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (faccessat(AT_FDCWD, native.constData(), W_OK, AT_EACCESS) == 0)
        return 0;
    return errno;
}

bool openedReadOnly(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    return connection && sqlite3_db_readonly(connection, "main") == 1;
}

QString inUseText(const QString& path)
{
    return QStringLiteral("账本“%1”正被另一个程序使用（已被锁定），现在无法打开。"
                          "请等该程序完成或将其关闭后重试。")
        .arg(path);
}

// A newer program's book is left as it is; an older one is upgraded before the windows open.
void refuseNewerLayout(QSqlDatabase& db, const QString& name)
{
    const int version = layout::versionOf(db);
    if (version > schema::kVersion)
        throw StartupError(layout::newerText(name, version));
}

} // namespace

Tdmfm::Tdmfm(const QString& fileName, QObject* parent)
    : QObject(parent), ADOQuery1(nullptr), ADOQuery15(nullptr), ADOTable5(nullptr),
      m_fileName(fileName), m_connectionName(connectionNameFor(this)),
      m_journal(std::make_unique<ChangeJournal>(m_connectionName)),
      m_writer(new BookWriter(m_connectionName, m_journal.get(), this)),
      m_watcher(new BookWatcher(m_connectionName, m_journal.get(), this))
{
    setObjectName(QStringLiteral("dmfm"));
    ADOQuery1 = new Dataset(this);
    ADOQuery15 = new Dataset(this);
    ADOTable5 = new Dataset(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    ADOQuery15->setObjectName(QStringLiteral("ADOQuery15"));
    ADOTable5->setObjectName(QStringLiteral("ADOTable5"));
    // Rows of data carry a hidden key so that a change touches exactly the row shown.
    ADOQuery1->setBook({m_connectionName, m_journal.get(), m_writer, {}, {}});
    for (Dataset* d : {ADOQuery15, ADOTable5})
        d->setBook({m_connectionName, m_journal.get(), m_writer, QStringLiteral("data"),
                    BookWriter::keyColumn()});
    ADOQuery1->setSql(QStringLiteral("select * from data"));
    ADOQuery15->setSql(QStringLiteral("select * from data"));
    // Another copy's rows join the grid's listing, but not while a row of it is being edited or
    // a box waits for an answer inside a command (a nested event loop): the command goes on with
    // the record current when it asked, not a neighbour of one another PC deleted meanwhile.
    connect(m_watcher, &BookWatcher::othersWrote, this, [this] {
        const Dataset::State state = ADOQuery15->state();
        if (QThread::currentThread()->loopLevel() > 1 || state == Dataset::State::Edit ||
            state == Dataset::State::Insert || !ADOQuery15->takeInOthers())
            m_watcher->askAgainLater();
    });
    setConnected(true);
}

Tdmfm::~Tdmfm()
{
    setConnected(false);
    // The datasets go before the journal and the writer they use.
    for (Dataset* d : {ADOQuery1, ADOQuery15, ADOTable5})
        delete d;
}

void Tdmfm::checkBook(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw StartupError(QStringLiteral("Could not find file '%1'.").arg(path));
    if (!info.isFile())
        throw StartupError(QStringLiteral("'%1' is not a file.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StartupError(QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    const QByteArray header = file.read(16);
    if (header.size() < 16)
        throw StartupError(
            QStringLiteral("'%1' is not a Quenvale database: the file is empty or too short.")
                .arg(path));
    if (header != QByteArray("SQLite format 3\0", 16))
        throw StartupError(
            QStringLiteral("'%1' is not a Quenvale database: unrecognised file format.").arg(path));
    // A copy cut short still has an intact first page; its header knows the full size.
    const QByteArray page = header + file.read(84);
    if (page.size() < 100)
        throw StartupError(QStringLiteral("'%1' is damaged: the file is truncated.").arg(path));
    auto be32 = [&page](int at) {
        return (quint32(quint8(page[at])) << 24) | (quint32(quint8(page[at + 1])) << 16) |
               (quint32(quint8(page[at + 2])) << 8) | quint32(quint8(page[at + 3]));
    };
    quint32 pageSize = (quint32(quint8(page[16])) << 8) | quint32(quint8(page[17]));
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 pages = be32(28);
    // The page count is trustworthy only while it was written by the same change as the header.
    if (pages > 0 && be32(24) == be32(92) && qint64(pages) * pageSize > info.size())
        throw StartupError(
            QStringLiteral("'%1' is damaged: the file is truncated (%2 of %3 bytes).")
                .arg(path)
                .arg(info.size())
                .arg(qint64(pages) * pageSize));
}

void Tdmfm::checkWritable(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const int file = writeDenied(path);
    // SQLite writes its journal beside the book: the folder must take new files too.
    const int dir = file == 0 ? writeDenied(folder) : 0;
    if (file == EROFS || dir == EROFS)
        throw StartupError(QStringLiteral("账本“%1”无法写入：它所在的磁盘或分区是只读的。"
                                          "请把账本放到可以写入的位置后再启动本程序。")
                               .arg(path));
    if (file != 0)
        throw StartupError(QStringLiteral("账本“%1”是只读的，无法写入：文件的权限不允许当前用户"
                                          "修改它。请修改文件权限后再启动本程序。")
                               .arg(path));
    if (dir != 0)
        throw StartupError(QStringLiteral("账本“%1”无法写入：它所在的文件夹“%2”不允许当前用户"
                                          "写入，而保存账本时要在其中建立日志文件。"
                                          "请修改文件夹的权限后再启动本程序。")
                               .arg(path, folder));
}

void Tdmfm::setConnected(bool connected)
{
    if (connected == this->connected())
        return;
    if (!connected) {
        m_watcher->stop();
        for (Dataset* d : {ADOQuery1, ADOQuery15, ADOTable5})
            d->close();
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
        return;
    }

    if (server::isServerBook(m_fileName)) {
        connectServer();
        m_watcher->start();
        return;
    }
    // QSQLITE would quietly create a missing file: check first.
    m_path = QDir::current().absoluteFilePath(m_fileName);
    checkBook(m_path);
    checkWritable(m_path);
    try {
        QSqlDatabase db = sql::open(m_path, m_connectionName);
        try {
            sql::checkSameSqlite(db);
        } catch (const DatabaseError& e) {
            throw StartupError(e.message());
        }
        // The first read waits out a short lock once; a lock that stays is another program's.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master")) &&
            schema::isBusy(probe.lastError()))
            throw BookInUseError(inUseText(m_path));
        probe.finish();
        if (openedReadOnly(db))
            throw StartupError(
                QStringLiteral("账本“%1”只能以只读方式打开，无法写入。请检查文件和所在文件夹的"
                               "权限后再启动本程序。")
                    .arg(m_path));
        // A listing in date order visits the table's pages out of order: a mapped file and a
        // larger page cache keep those visits in memory.
        QSqlQuery tune(db);
        tune.exec(QStringLiteral("PRAGMA mmap_size=268435456"));
        tune.exec(QStringLiteral("PRAGMA cache_size=-65536"));
        bool busy = false;
        const QString problem = schema::layoutProblem(db, &busy);
        if (busy)
            throw BookInUseError(inUseText(m_path));
        if (!problem.isEmpty())
            throw StartupError(
                QStringLiteral("'%1' is not a Quenvale database: %2.").arg(m_path, problem));
        refuseNewerLayout(db, m_path);
    } catch (const StartupError&) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    } catch (const QuenvaleError& e) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw StartupError(QStringLiteral("Cannot open '%1': %2").arg(m_path, e.message()));
    }
    m_watcher->start();
}

void Tdmfm::connectServer()
{
    m_path = server::displayName(m_fileName);
    try {
        QSqlDatabase db = server::open(m_fileName, m_connectionName);
        const QString problem = server::layoutProblem(db);
        if (!problem.isEmpty())
            throw StartupError(QStringLiteral("服务器账本“%1”中没有本程序的账本（缺少数据表或其中"
                                              "的列）。请先用 quenvale_mkdb --server 在空的数据库"
                                              "中建立账本。\n（%2）")
                                   .arg(m_path, problem));
        refuseNewerLayout(db, m_path);
    } catch (const StartupError&) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    } catch (const QuenvaleError& e) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw StartupError(e.message());
    }
}

bool Tdmfm::connected() const
{
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

bool Tdmfm::isServer() const
{
    return server::isServerBook(m_fileName);
}

QSqlDatabase Tdmfm::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}
