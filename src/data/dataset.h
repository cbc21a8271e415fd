#pragma once

#include "data/recordcursor.h"

#include <QVector>

class BookWriter;

// The dataset of the Windows program's kind (ADOQuery1, ADOQuery15, ADOTable5): a listing with a
// current record that also takes statements as text and edits its rows, each change one write
// through the book's writer on the row's hidden key. The windows hand a listing ListingQuery
// values; a statement given as text is taken as a listing of the dataset's table when it has
// that shape, and otherwise read as it stands.
class Dataset : public RecordCursor
{
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };
    using ChangeStamp = ::ChangeStamp;
    using FillSettings = Filler::Settings;

    explicit Dataset(QObject* parent = nullptr);
    ~Dataset() override;

    void setConnectionName(const QString& name);
    // The table that edit, append and delete write to, and whose key column stays hidden.
    void setTable(const QString& table);
    QString table() const { return book().table; }
    void setKeyColumn(const QString& column);

    // The statement text of a query; open() without arguments runs it.
    void setSql(const QString& statement);
    QString sql() const { return m_sql; }
    // The values bound to sql() when it last ran.
    QVariantList boundValues() const { return m_values; }

    using Listing::open;
    using Listing::reopenUnchanged;
    void open();
    void open(const QString& statement, const QVariantList& values = {});
    bool reopenUnchanged(const QString& statement, const QVariantList& values = {});
    void setKeptStatement(const QString& statement);
    void openTable(); // all rows of table()
    // The insert cursor: table()'s fields and no rows; appended rows join the snapshot.
    // Nothing reads the table through it, so a big book is not held twice in memory.
    void openForAppend();
    void execSql(const QString& statement, const QVariantList& values = {});
    // The key the last execSql insert gave its row.
    qint64 lastInsertId() const { return m_lastInsertId; }
    State state() const { return isOpen() ? m_state : State::Inactive; }

    // Editing: edit() or append(), then setValue(), then post() (or cancel()).
    void edit();
    void append();
    void setValue(const QString& name, const QVariant& value);
    void post();
    void cancel();
    void deleteCurrent();

    // The book's change stamp and what the journal of its writes can tell about it.
    ChangeStamp changeStamp() const;
    bool tableUnchangedSince(const ChangeStamp& since, const QString& table) const;
    bool tableUnchangedSince(const ChangeStamp& since, const QString& table,
                             const ChangeStamp& until) const;
    // Whether a local book has an index whose first column is table's column.
    bool hasIndexOn(const QString& table, const QString& column) const;
    static FillSettings setFillFrom(FillSettings settings) { return Filler::setDefaults(settings); }
    BookWriter* writer() const { return book().writer; }

protected:
    void readingReplaced() override;
    std::optional<QVariant> bufferedValue(int column) const override;

private:
    void requireBrowse() const;
    ListingQuery queryOf(const QString& statement, const QVariantList& values) const;

    QString m_sql;
    QVariantList m_values;
    qint64 m_lastInsertId = 0;
    State m_state = State::Browse; // while open
    QVector<QVariant> m_buffer;    // edit buffer, per column of the reading
    std::vector<bool> m_changed;
    RowValues m_opened; // the row as edit() found it
};
