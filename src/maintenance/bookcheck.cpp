#include "maintenance/bookcheck.h"

#include "data/dm.h"
#include "data/schema.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace bookcheck {

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("bookcheck-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString textOf(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

QString examine(QSqlDatabase& db)
{
    if (!db.open())
        return textOf(db.lastError());
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA integrity_check")))
        return textOf(q.lastError());
    if (!q.next() || q.value(0).toString() != QLatin1String("ok"))
        return QStringLiteral("the file is damaged: ") + q.value(0).toString();
    q.finish();
    return schema::layoutProblem(db);
}

} // namespace

bool isBook(const QString& path, QString* reason)
{
    QString why;
    try {
        Tdmfm::checkBook(path);
    } catch (const QuenvaleError& e) {
        why = e.message();
    }
    if (why.isEmpty()) {
        const QString name = nextConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            why = examine(db);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace bookcheck
