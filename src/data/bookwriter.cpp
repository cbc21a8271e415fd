#include "data/bookwriter.h"

#include "data/bookfacts.h"
#include "data/bookwatcher.h"
#include "data/closing.h"
#include "data/errors.h"
#include "data/history.h"
#include "data/rowconflict.h"
#include "data/settlement.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString kData = QStringLiteral("data");
const QString kDay = QStringLiteral("day1");

// Tables whose rows are dated and belong to a month that can be closed.
bool dated(const QString& table)
{
    return table.compare(kData, Qt::CaseInsensitive) == 0 ||
           table.compare(QStringLiteral("settlements"), Qt::CaseInsensitive) == 0;
}

// The value of column among values; invalid when it is not there.
QVariant valueOf(const RowValues& values, const QString& column)
{
    for (const auto& [name, value] : values)
        if (name.compare(column, Qt::CaseInsensitive) == 0)
            return value.isValid() ? value : QVariant(QMetaType::fromType<QString>());
    return {};
}

// On a server a closing and the writes of records are kept apart by one advisory lock: each
// write of a dated row holds it shared until its commit, a change of the book's facts holds it
// alone. Reading the facts only after the lock is granted (a statement of its own, so under
// READ COMMITTED it sees what the closing committed) makes the check and the write one step.
constexpr qint64 kFactsLock = 0x51564246; // "QVBF"

QString changedGone()
{
    return rowconflict::goneText(rowconflict::Write::Modify);
}

QString deletedGone()
{
    return rowconflict::goneText(rowconflict::Write::Remove);
}

// The rows written as the history keeps them: a change with the whole row before and after.
QList<history::Change> historyOf(const QList<RowChange>& changes)
{
    QList<history::Change> entries;
    entries.reserve(changes.size());
    for (const RowChange& c : changes) {
        history::Change entry{history::Kind::Rows, c.table, c.key, c.before, c.after};
        switch (c.kind) {
        case RowChange::Kind::Added:
            entry.kind = history::Kind::Added;
            break;
        case RowChange::Kind::Changed:
            entry.kind = history::Kind::Changed;
            entry.after = c.before;
            for (auto& [column, value] : entry.after)
                value = c.valueAfter(column);
            break;
        case RowChange::Kind::Removed:
            entry.kind = history::Kind::Removed;
            break;
        case RowChange::Kind::Rows:
            break;
        }
        entries << entry;
    }
    return entries;
}

} // namespace

QVariant RowChange::valueAfter(const QString& column) const
{
    for (const RowValues* row : {&after, &before})
        for (const auto& [name, value] : *row)
            if (name.compare(column, Qt::CaseInsensitive) == 0)
                return value;
    return {};
}

BookWriter::BookWriter(QString connectionName, ChangeJournal* journal, QObject* parent)
    : QObject(parent), m_connection(std::move(connectionName)), m_journal(journal)
{
}

QSqlDatabase BookWriter::connection() const
{
    return QSqlDatabase::database(m_connection, false);
}

qint64 BookWriter::add(const QString& table, const RowValues& values)
{
    Batch batch(*this);
    const qint64 key = batch.add(table, values);
    batch.commit();
    return key;
}

void BookWriter::modify(const QString& table, qint64 key, const RowValues& opened,
                        const RowValues& values)
{
    Batch batch(*this);
    batch.modify(table, key, opened, values);
    batch.commit();
}

void BookWriter::remove(const QString& table, qint64 key, const RowValues& opened)
{
    Batch batch(*this);
    batch.remove(table, key, opened);
    batch.commit();
}

qint64 BookWriter::add(const CashRecord& record)
{
    return add(kData, record.columnValues());
}

// The marker o is not the operator's: a record read from an older book may lack it.
// An empty record gives nothing to compare.
static RowValues openedRecord(const CashRecord& opened)
{
    if (opened.columnValues() == CashRecord{}.columnValues())
        return {};
    RowValues values = opened.columnValues();
    values.removeIf([](const auto& v) { return v.first == u"o"; });
    return values;
}

void BookWriter::modify(qint64 key, const CashRecord& opened, const CashRecord& record)
{
    modify(kData, key, openedRecord(opened), record.columnValues());
}

void BookWriter::remove(qint64 key, const CashRecord& opened)
{
    remove(kData, key, openedRecord(opened));
}

qint64 BookWriter::execute(const QString& table, const QString& statement,
                           const QVariantList& values)
{
    QSqlDatabase db = connection();
    // Which rows such a statement writes is not known: while a month is closed it is refused.
    if (dated(table)) {
        const QString closed = bookfacts::closedThrough(db);
        if (!closed.isEmpty())
            throw ClosedMonthError(closing::refusal(closed));
    }
    const ChangeStamp before = m_journal ? m_journal->stamp() : ChangeStamp{};
    // An insert ending in "returning id" gives its key on both engines.
    QSqlQuery q = sql::exec(db, statement, values);
    const qint64 key =
        q.isSelect() && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    // A server statement that wrote nothing took no transaction number of its own.
    const bool wroteNothing =
        sql::isServer(db) && (q.isSelect() ? key == 0 : q.numRowsAffected() <= 0);
    q.finish(); // its changes are counted once it is finished
    if (table.isEmpty())
        return key; // nothing known of what it wrote: no listing takes it in
    RowChange change;
    change.table = table;
    change.from = before;
    change.to = m_journal && !wroteNothing ? m_journal->stamp() : change.from;
    committed({change});
    return key;
}

void BookWriter::committed(const QList<RowChange>& changes, const RowChange* history)
{
    if (m_journal) {
        for (const RowChange& c : changes)
            m_journal->note(c.from, c.to, c.table, c.key, c.kind == RowChange::Kind::Rows ? -1 : 1);
        if (history)
            m_journal->note(history->from, history->to, history->table, 0, -1);
    }
    emit written(changes);
}

BookWriter::Batch::Batch(BookWriter& writer, QString action)
    : m_writer(writer), m_action(std::move(action)), m_db(writer.connection())
{
    m_transaction = std::make_unique<sql::Transaction>(m_db);
}

BookWriter::Batch::~Batch() = default;

ChangeStamp BookWriter::Batch::stamp() const
{
    return m_writer.m_journal ? m_writer.m_journal->stamp() : ChangeStamp{};
}

RowValues BookWriter::Batch::stored(const QString& table, qint64 key, const QString& missing)
{
    QSqlQuery q =
        sql::exec(m_db,
                  QStringLiteral("select * from ") + sql::quoted(table) +
                      QStringLiteral(" where ") + sql::quoted(keyColumn()) + QStringLiteral("=?"),
                  {key});
    if (!q.next())
        throw MissingRowError(missing);
    RowValues row;
    const QSqlRecord record = q.record();
    for (int c = 0; c < record.count(); ++c)
        if (record.fieldName(c).compare(keyColumn(), Qt::CaseInsensitive) != 0)
            row.append({record.fieldName(c), q.value(c)});
    return row;
}

QString BookWriter::Batch::closedThrough()
{
    if (m_closedThrough)
        return *m_closedThrough;
    if (sql::isServer(m_db) && m_factsLock == FactsLock::None) {
        sql::exec(m_db, QStringLiteral("select pg_advisory_xact_lock_shared(?)"), {kFactsLock});
        m_factsLock = FactsLock::Shared;
    }
    m_closedThrough = bookfacts::closedThrough(m_db);
    return *m_closedThrough;
}

void BookWriter::Batch::lockFacts()
{
    if (m_factsLock == FactsLock::Exclusive)
        return;
    if (sql::isServer(m_db))
        sql::exec(m_db, QStringLiteral("select pg_advisory_xact_lock(?)"), {kFactsLock});
    m_factsLock = FactsLock::Exclusive;
    m_closedThrough.reset(); // read again under the lock
}

void BookWriter::Batch::setFact(const QString& name, const QString& value)
{
    lockFacts();
    RowChange change;
    change.kind = RowChange::Kind::Changed;
    change.table = QStringLiteral("bookinfo");
    const QString old = bookfacts::value(m_db, name);
    change.before = {{name, old.isNull() ? QVariant() : QVariant(old)}};
    change.after = {{name, value}};
    change.from = stamp();
    sql::exec(m_db,
              QStringLiteral("insert into bookinfo (name, value) values (?, ?) on conflict (name) "
                             "do update set value=excluded.value"),
              {name, value});
    change.to = stamp();
    m_changes << change;
    if (name == QString::fromUtf16(bookfacts::kClosedThrough))
        m_closedThrough = value;
}

void BookWriter::Batch::checkOpen(const QString& table, const QVariant& day)
{
    if (!dated(table) || !day.isValid())
        return;
    const QString month = closing::monthOf(day);
    if (month.isEmpty())
        return; // no date, no month
    const QString closed = closedThrough();
    if (!closed.isEmpty() && month <= closed)
        throw ClosedMonthError(closing::refusal(month));
}

qint64 BookWriter::Batch::add(const QString& table, const RowValues& values)
{
    checkOpen(table, valueOf(values, kDay));
    QStringList names;
    QStringList marks;
    QVariantList bound;
    for (const auto& [column, value] : values) {
        names << sql::quoted(column);
        marks << QStringLiteral("?");
        bound << value;
    }
    QString statement = QStringLiteral("insert into ") + sql::quoted(table);
    if (names.isEmpty())
        statement += QStringLiteral(" default values");
    else
        statement += QStringLiteral(" (") + names.join(u',') + QStringLiteral(") values (") +
                     marks.join(u',') + u')';
    const bool server = sql::isServer(m_db);
    if (server)
        statement += QStringLiteral(" returning ") + sql::quoted(keyColumn());
    RowChange change;
    change.kind = RowChange::Kind::Added;
    change.table = table;
    change.after = values;
    change.from = stamp();
    QSqlQuery q = sql::exec(m_db, statement, bound);
    change.key = server && q.next() ? q.value(0).toLongLong() : q.lastInsertId().toLongLong();
    q.finish();
    change.to = stamp();
    m_changes << change;
    return change.key;
}

void BookWriter::Batch::modify(const QString& table, qint64 key, const RowValues& opened,
                               const RowValues& values)
{
    RowChange change;
    change.kind = RowChange::Kind::Changed;
    change.table = table;
    change.key = key;
    change.before = stored(table, key, changedGone());
    // Another user's change since the operator opened the row is never written over.
    rowconflict::check(table, change.before, opened, rowconflict::Write::Modify);
    change.after = values;
    if (values.isEmpty())
        return;
    // A record's settlements hold it to its side, its received (paid) and its date.
    if (table.compare(kData, Qt::CaseInsensitive) == 0)
        settlement::checkChange(m_db, key, change.before, values);
    checkOpen(table, valueOf(change.before, kDay));
    checkOpen(table, valueOf(values, kDay));
    QStringList sets;
    QVariantList bound;
    for (const auto& [column, value] : values) {
        sets << sql::quoted(column) + QStringLiteral("=?");
        bound << value;
    }
    bound << key;
    change.from = stamp();
    QSqlQuery q = sql::exec(
        m_db,
        QStringLiteral("update ") + sql::quoted(table) + QStringLiteral(" set ") + sets.join(u',') +
            QStringLiteral(" where ") + sql::quoted(keyColumn()) + QStringLiteral("=?"),
        bound);
    if (q.numRowsAffected() == 0)
        throw MissingRowError(changedGone());
    q.finish();
    change.to = stamp();
    m_changes << change;
}

void BookWriter::Batch::remove(const QString& table, qint64 key, const RowValues& opened)
{
    RowChange change;
    change.kind = RowChange::Kind::Removed;
    change.table = table;
    change.key = key;
    change.before = stored(table, key, deletedGone());
    rowconflict::check(table, change.before, opened, rowconflict::Write::Remove);
    checkOpen(table, valueOf(change.before, kDay));
    change.from = stamp();
    QSqlQuery q =
        sql::exec(m_db,
                  QStringLiteral("delete from ") + sql::quoted(table) + QStringLiteral(" where ") +
                      sql::quoted(keyColumn()) + QStringLiteral("=?"),
                  {key});
    // Another program (or PC) deleted it first: say so and leave the listing as it is.
    if (q.numRowsAffected() == 0)
        throw MissingRowError(deletedGone());
    q.finish();
    change.to = stamp();
    m_changes << change;
}

void BookWriter::Batch::commit()
{
    if (!m_changes.isEmpty()) {
        // The history's rows are a write of their own, noted so the listings still take in
        // the rows written instead of reading everything again.
        RowChange entries;
        entries.table = QStringLiteral("changes");
        entries.from = stamp();
        BookWatcher::announce(m_db); // the other copies hear of it once this commits
        history::append(m_db, history::currentOperator(), m_action, historyOf(m_changes));
        entries.to = stamp();
        m_transaction->commit();
        m_transaction.reset();
        m_writer.remember(m_action, m_changes);
        m_writer.committed(m_changes, &entries);
        return;
    }
    m_transaction->commit();
    m_transaction.reset();
    m_writer.committed(m_changes);
}
