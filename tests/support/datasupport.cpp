#include "datasupport.h"

#include "data/schema.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace testsupport {

BookFolder::BookFolder() : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    makeFreshBook(bookPath());
}

BookFolder::~BookFolder()
{
    QDir::setCurrent(m_previous);
}

void makeFreshBook(const QString& path)
{
    static QTemporaryDir templateDir;
    const QString templatePath = templateDir.filePath(QStringLiteral("template.mdb"));
    if (!QFile::exists(templatePath))
        schema::createFile(templatePath);
    QFile::remove(path);
    if (!QFile::copy(templatePath, path))
        qFatal("cannot copy the fresh book to %s", qPrintable(path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::ReadOther);
}

void clearSettings()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    s.clear();
    s.sync();
    QFile::remove(s.fileName());
}

qint64 insertRecord(const QString& bookPath, const QString& kind, const QString& day,
                    const QString& summary, const QString& counterparty, double income,
                    double received, double expense, double paid, const QString& marker)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q = sql::exec(
        conn.db(),
        QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                       "values (?,?,?,?,?,?,?,?,?,?,?)"),
        {kind, day, summary, counterparty, income, received, income - received, expense, paid,
         expense - paid, marker});
    return q.lastInsertId().toLongLong();
}

QVariant scalar(const QString& bookPath, const QString& statement, const QVariantList& values)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q = sql::exec(conn.db(), statement, values);
    return q.next() ? q.value(0) : QVariant();
}

void isolateEnvironment()
{
    static QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toLocal8Bit());
    qunsetenv("XDG_DESKTOP_DIR");
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
}

} // namespace testsupport
