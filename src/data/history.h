#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// The change history kept in the book (table changes): every change the program makes, written
// in the same transaction as the change, with who, when, what and the values before and after.
// Each entry carries a SHA-256 over its content and the previous entry's hash, and bookinfo's row
// 'history' holds the newest entry's number and hash, so an entry altered or removed by another
// program breaks the chain. Numbers are given one after the other and never twice: on a server
// the head row is locked for the append, on a local book the write transaction serialises it.
namespace history {

// A row's columns and values, in the order written (what the book writer calls RowValues).
using Values = QList<QPair<QString, QVariant>>;

// What happened to the row: the book writer's kinds, and two of the history's own.
enum class Kind {
    Added,
    Changed,
    Removed,
    Rows,   // a statement whose rows are not known one by one (users, the login log)
    Purged, // a deleted record taken out of the recycle bin for good
    Book,   // the whole book replaced by a backup
};

// One change as the writer knows it.
struct Change
{
    Kind kind = Kind::Rows;
    QString table;
    qint64 key = 0;
    Values before;
    Values after;
};

// One entry as stored.
struct Entry
{
    qint64 seq = 0;
    QString at; // yyyy-MM-dd HH:mm:ss, local time
    QString user;
    QString action;
    Kind kind = Kind::Rows;
    QString table;
    qint64 key = 0;
    qint64 batch = 0; // the number of the batch's first entry
    Values before;
    Values after;
    QString beforeText; // the values as stored (JSON), which the hash covers
    QString afterText;
    QString prevHash;
    QString hash;
};

// The table, its indexes and the head row, inside the caller's transaction; a book that has
// them keeps them.
void createTable(QSqlDatabase& db);

// Where the entries' time comes from; an empty function restores the clock.
void setClock(std::function<QDateTime()> now);

// Who works in this run: set at the login, written into the entries of this copy.
void setOperator(const QString& name);
QString currentOperator();
bool isAdministrator(const QString& user);

// Takes the history's lock for the rest of the caller's transaction (on a server; a local
// book's write transaction holds it already), so what is read next stays true until the commit.
void lock(QSqlDatabase& db);

// Appends changes as one batch inside the caller's transaction and gives the batch number. An
// empty action is named after the kind. Numbers start above atLeast (a restored book keeps
// numbering after the book it replaced).
qint64 append(QSqlDatabase& db, const QString& user, const QString& action,
              const QList<Change>& changes, qint64 atLeast = 0);

// The newest entry's number (0 for none).
qint64 lastNumber(QSqlDatabase& db);

// Is the chain whole? text() says "记录完整" or names the first entry altered or removed.
struct Verdict
{
    enum class Problem { None, Altered, Removed, HeadAltered };
    Problem problem = Problem::None;
    qint64 checked = 0;  // entries read
    qint64 firstBad = 0; // number of the first entry altered or removed
    bool intact() const { return problem == Problem::None; }
    QString text() const;
};
Verdict verify(QSqlDatabase& db);

// The same check a slice at a time, for a window that goes on answering meanwhile.
class ChainCheck
{
public:
    explicit ChainCheck(QSqlDatabase db);
    // Checks up to rows more entries; true once the verdict is known.
    bool step(int rows);
    bool done() const { return m_done; }
    const Verdict& verdict() const { return m_verdict; }

private:
    int slice(int rows); // entries read
    void found(Verdict::Problem problem, qint64 seq);

    QSqlDatabase m_db;
    Verdict m_verdict;
    qint64 m_expected = 1;
    qint64 m_last = 0;
    QString m_prev;
    bool m_done = false;
};

// What the window "修改记录" asks for; an empty field does not filter.
struct Filter
{
    QDate from;
    QDate to;
    QString user;
    QString text;
    int limit = 10000;
};
// Newest first, at most filter.limit entries.
QList<Entry> find(QSqlDatabase& db, const Filter& filter);
// The entries (aliased c) where condition holds, values bound, ordered as tail says.
QList<Entry> select(QSqlDatabase& db, const QString& condition, const QVariantList& values,
                    const QString& tail);
// Every user named in the history, sorted.
QStringList users(QSqlDatabase& db);

// Texts for people: the action, the table and the values with their column titles.
QString tableName(const QString& table);
QString describe(const QString& table, const Values& values);
QString valueText(const QString& column, const QVariant& value);
QString columnTitle(const QString& table, const QString& column);

// The values as stored and back.
QString toJson(const Values& values);
Values fromJson(const QString& text);
QString kindText(Kind kind);
Kind kindFromText(const QString& text);

// The hash of an entry from its stored fields.
QString hashOf(const Entry& entry);

// Moves the history between books (the server book's backup and restore): the target's history,
// emptied by clear(), becomes the source's. A source without a history leaves none.
void copy(QSqlDatabase& from, QSqlDatabase& to);
void clear(QSqlDatabase& db);

} // namespace history
