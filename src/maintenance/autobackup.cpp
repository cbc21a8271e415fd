#include "maintenance/autobackup.h"

#include "data/foreigncode.h"
#include "data/layout.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "settings/settings.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>

#include <algorithm>
#include <sys/stat.h>

namespace autobackup {

namespace {

struct Named
{
    QString path;
    QDateTime taken;
    int serial; // a second one within the same second
};

QList<Named> backupsIn(const QString& folder)
{
    static const QRegularExpression pattern(
        QStringLiteral("^data-(\\d{8}-\\d{6})(?:-(\\d+))?\\.mdb$"));
    QList<Named> found;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("data-*.mdb")}, QDir::Files);
    for (const QFileInfo& entry : entries) {
        const QRegularExpressionMatch m = pattern.match(entry.fileName());
        if (m.hasMatch())
            found.append({entry.absoluteFilePath(),
                          QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd-HHmmss")),
                          m.captured(2).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const Named& a, const Named& b) {
        return a.taken != b.taken ? a.taken > b.taken : a.serial > b.serial;
    });
    return found;
}

// Records in a backup, read without changing the file; -1 when it is no readable book.
qint64 recordsIn(const QString& path)
{
    static QAtomicInteger<int> counter;
    const QString name = QStringLiteral("autobackup-%1").arg(counter.fetchAndAddRelaxed(1));
    qint64 records = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("select count(*) from data")) && q.next())
            records = q.value(0).toLongLong();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return records;
}

} // namespace

int keptCount()
{
    std::optional<QString> value;
    try {
        value = settings::read(settings::kAutoBackups);
    } catch (const SettingsError&) {
        return kDefaultKept;
    }
    bool number = false;
    const int kept = value ? value->trimmed().toInt(&number) : 0;
    return number && kept >= 0 ? kept : kDefaultKept;
}

QString folderFor(const QString& book)
{
    if (!server::isServerBook(book))
        return QFileInfo(book).absolutePath() + QStringLiteral("/backups");
    // The database's name to be recognised by, and a digest that tells servers apart.
    const QString shown = server::displayName(book);
    QString stem = shown.section(u'/', -1);
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    stem.replace(unsafe, QStringLiteral("_"));
    const QString digest = QString::fromLatin1(
        QCryptographicHash::hash(shown.toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/backups/server-") + stem + u'-' + digest;
}

QString take(const QString& book, const bookcopy::Progress& progress)
{
    const QString folder = folderFor(book);
    if (!QFileInfo(folder).isDir()) {
        if (!QDir().mkpath(folder))
            throw QuenvaleError(QStringLiteral("无法建立自动备份的文件夹“%1”。").arg(folder));
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }
    bookcopy::removeLeftovers(folder);
    const QString second = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // Another within the same second comes after the newest of them, even one pruned meanwhile.
    int serial = 0;
    for (const Named& named : backupsIn(folder))
        if (named.taken == QDateTime::fromString(second, QStringLiteral("yyyyMMdd-HHmmss")))
            serial = std::max(serial, named.serial + 1);
    const QString target = folder + QStringLiteral("/data-") + second +
                           (serial ? u'-' + QString::number(serial) : QString()) +
                           QStringLiteral(".mdb");
    bookcopy::snapshot(book, target, progress);
    ::chmod(QFile::encodeName(target).constData(), 0600);
    return target;
}

void prune(const QString& book, int keep)
{
    if (keep <= 0)
        return;
    const QList<Named> all = backupsIn(folderFor(book));
    for (qsizetype i = keep; i < all.size(); ++i)
        QFile::remove(all.at(i).path);
}

QList<Entry> list(const QString& book)
{
    QList<Entry> entries;
    for (const Named& named : backupsIn(folderFor(book)))
        entries.append(
            {named.path, named.taken, QFileInfo(named.path).size(), recordsIn(named.path)});
    return entries;
}

QString upgradeAfterBackup(const QString& book)
{
    {
        sql::ScopedConnection conn(book);
        const int version = layout::versionOf(conn.db());
        if (version > schema::kVersion)
            throw layout::NewerLayout(layout::newerText(
                server::isServerBook(book) ? server::displayName(book) : book, version));
        if (version == schema::kVersion)
            return {};
    }
    const QString backup = take(book);
    sql::ScopedConnection conn(book);
    layout::upgrade(conn.db());
    return backup;
}

QString removeForeignCodeAfterBackup(const QString& book)
{
    const QString backup = take(book);
    sql::ScopedConnection conn(book);
    sql::Transaction tx(conn.db());
    foreigncode::remove(conn.db(), foreigncode::find(conn.db()));
    tx.commit();
    return backup;
}

} // namespace autobackup
