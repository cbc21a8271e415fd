#include "datasupport.h"

#include "data/dataset.h"

#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <cstdio>

namespace testsupport {

bool onServer()
{
    return !qEnvironmentVariableIsEmpty("QUENVALE_TEST_SERVER");
}

bool serverReady()
{
    if (!onServer())
        return true;
    const QString socket = qEnvironmentVariable("QUENVALE_TEST_SERVER") + u"/.s.PGSQL.5432";
    if (QFile::exists(socket))
        return true;
    std::printf("QUENVALE-SERVER-MISSING: no test server at %s\n", qPrintable(socket));
    return false;
}

namespace {

QString serverDatabase(const QString& name)
{
    return QStringLiteral("host=%1 user=postgres dbname=%2")
        .arg(qEnvironmentVariable("QUENVALE_TEST_SERVER"), name);
}

} // namespace

QString makeServerBook()
{
    static int made = 0;
    // A test may start a server of its own: each server gets its own template.
    static QStringList templated;
    const QString stem = QStringLiteral("qv_%1_").arg(QCoreApplication::applicationPid());
    const QString templateName = stem + QStringLiteral("template");
    sql::ScopedConnection admin(serverDatabase(QStringLiteral("postgres")));
    if (!templated.contains(qEnvironmentVariable("QUENVALE_TEST_SERVER"))) {
        templated << qEnvironmentVariable("QUENVALE_TEST_SERVER");
        sql::exec(admin.db(), QStringLiteral("create database ") + templateName);
        sql::ScopedConnection conn(serverDatabase(templateName));
        server::createSchema(conn.db());
    }
    const QString name = stem + QString::number(++made);
    sql::exec(admin.db(), QStringLiteral("create database %1 template %2").arg(name, templateName));
    return serverDatabase(name);
}

BookFolder::BookFolder() : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    if (onServer())
        m_serverBook = makeServerBook();
    else
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
                       "values (?,?,?,?,?,?,?,?,?,?,?) returning id"),
        {kind, day, summary, counterparty, income, received, income - received, expense, paid,
         expense - paid, marker});
    return q.next() ? q.value(0).toLongLong() : 0;
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
    // QUENVALE_TEST_FILL=1 has every whole-table listing of more than two rows filled in, to
    // look by hand for what changes when a listing is not yet read in full.
    if (qEnvironmentVariableIntValue("QUENVALE_TEST_FILL") == 1)
        Dataset::setFillFrom({1, 2});
}

QStringList rowsOf(Dataset* d)
{
    QStringList rows;
    for (int i = 0; i < d->recordCount(); ++i) {
        d->moveTo(i);
        QStringList cells{QString::number(d->key())};
        for (int f = 0; f < d->fieldCount(); ++f)
            cells << d->valueAt(i, f).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

} // namespace testsupport
