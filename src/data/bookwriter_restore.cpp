// Rows put back under their own key: the recycle bin's 恢复记录 and the undo of a delete.
#include "data/bookwriter.h"
#include "data/recyclebin.h"

#include <QSqlQuery>

void BookWriter::Batch::restore(const QString& table, qint64 key, const RowValues& values)
{
    QStringList names = {sql::quoted(keyColumn())};
    QStringList marks = {QStringLiteral("?")};
    QVariantList bound = {key};
    for (const auto& [column, value] : values) {
        if (column.compare(keyColumn(), Qt::CaseInsensitive) == 0)
            continue;
        names << sql::quoted(column);
        marks << QStringLiteral("?");
        bound << value;
    }
    for (const auto& [column, value] : values)
        if (column.compare(QStringLiteral("day1"), Qt::CaseInsensitive) == 0)
            checkOpen(table, value); // a record of a closed month stays out until it is reopened
    RowChange change;
    change.kind = RowChange::Kind::Added;
    change.table = table;
    change.key = key;
    change.after = values;
    change.from = stamp();
    // A server gives keys itself unless told to take this one.
    sql::exec(m_db,
              QStringLiteral("insert into ") + sql::quoted(table) + QStringLiteral(" (") +
                  names.join(u',') + u')' +
                  (sql::isServer(m_db) ? QStringLiteral(" overriding system value") : QString()) +
                  QStringLiteral(" values (") + marks.join(u',') + u')',
              bound);
    change.to = stamp();
    m_changes << change;
}

void WriterRestorer::restore(const history::Entry& removed)
{
    BookWriter::Batch batch(m_writer, QStringLiteral("恢复记录"));
    // Held to the commit: nobody restores or purges it meanwhile.
    history::lock(batch.connection());
    recyclebin::checkStillBinned(batch.connection(), removed);
    batch.restore(removed.table, removed.key, recyclebin::recordValues(removed));
    batch.commit();
}
