#include "data/dm.h"

#include "data/schema.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

Tdmfm* dmfm = nullptr;

namespace {

QString connectionNameFor(const void* owner)
{
    return QStringLiteral("ADOConnection1-%1").arg(reinterpret_cast<quintptr>(owner), 0, 16);
}

} // namespace

Tdmfm::Tdmfm(const QString& fileName, QObject* parent)
    : QObject(parent), ADOQuery1(new Dataset(this)), ADOQuery15(new Dataset(this)),
      ADOTable5(new Dataset(this)), m_fileName(fileName), m_connectionName(connectionNameFor(this))
{
    setObjectName(QStringLiteral("dmfm"));
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    ADOQuery15->setObjectName(QStringLiteral("ADOQuery15"));
    ADOTable5->setObjectName(QStringLiteral("ADOTable5"));
    for (Dataset* d : {ADOQuery1, ADOQuery15, ADOTable5})
        d->setConnectionName(m_connectionName);
    // Rows of data carry a hidden key so that a change touches exactly the row shown.
    for (Dataset* d : {ADOQuery15, ADOTable5}) {
        d->setTable(QStringLiteral("data"));
        d->setKeyColumn(QStringLiteral("id"));
    }
    ADOQuery1->setSql(QStringLiteral("select * from data"));
    ADOQuery15->setSql(QStringLiteral("select * from data"));
    setConnected(true);
}

Tdmfm::~Tdmfm()
{
    setConnected(false);
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

void Tdmfm::setConnected(bool connected)
{
    if (connected == this->connected())
        return;
    if (!connected) {
        for (Dataset* d : {ADOQuery1, ADOQuery15, ADOTable5})
            d->close();
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
        return;
    }

    // QSQLITE would quietly create a missing file: check first.
    m_path = QDir::current().absoluteFilePath(m_fileName);
    checkBook(m_path);
    try {
        QSqlDatabase db = sql::open(m_path, m_connectionName);
        // A listing in date order visits the table's pages out of order: a mapped file and a
        // larger page cache keep those visits in memory.
        QSqlQuery tune(db);
        tune.exec(QStringLiteral("PRAGMA mmap_size=268435456"));
        tune.exec(QStringLiteral("PRAGMA cache_size=-65536"));
        if (!schema::hasRequiredTables(db)) {
            QSqlQuery probe(db);
            QString cause = QStringLiteral("the tables data, userdb and rz are missing");
            if (!probe.exec(QStringLiteral("select count(*) from sqlite_master")))
                cause = probe.lastError().databaseText();
            throw StartupError(
                QStringLiteral("'%1' is not a Quenvale database: %2.").arg(m_path, cause));
        }
    } catch (const StartupError&) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    } catch (const QuenvaleError& e) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw StartupError(QStringLiteral("Cannot open '%1': %2").arg(m_path, e.message()));
    }
}

bool Tdmfm::connected() const
{
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase Tdmfm::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}
