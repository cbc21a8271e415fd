#pragma once

#include "data/moneysum.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

class QTimer;
struct sqlite3;
struct sqlite3_stmt;

enum class FieldType { Text, Float, Integer, Date, Memo };

struct FieldInfo
{
    QString name;
    FieldType type = FieldType::Text;
    QString displayLabel; // defaults to the name
    bool visible = true;
};

// A client-side snapshot of one result: the whole result is read into memory when opened,
// so RecordCount is exact and moving about never asks the database again. Rows of a table
// with a hidden key can be edited and deleted; each change is one statement on that key.
class Dataset : public QObject
{
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Bookmark = qint64; // the row's position in the snapshot, stable across sorts

    explicit Dataset(QObject* parent = nullptr);
    ~Dataset() override;

    void setConnectionName(const QString& name) { m_connectionName = name; }
    // The table that edit, append and delete write to, and whose key column stays hidden.
    void setTable(const QString& table) { m_table = table; }
    QString table() const { return m_table; }
    void setKeyColumn(const QString& column) { m_keyColumn = column; }

    // The statement text of a query; open() without arguments runs it.
    void setSql(const QString& statement)
    {
        m_sql = statement;
        m_values.clear();
    }
    QString sql() const { return m_sql; }
    // The values bound to sql() when it last ran.
    QVariantList boundValues() const { return m_values; }

    void open();
    void open(const QString& statement, const QVariantList& values = {});
    // When the snapshot is what statement with values would read now, puts it back as a fresh
    // open() would leave it and returns true: nothing was written to the book since, or only
    // rows this connection wrote through datasets, which are then read one by one (a listing of
    // one table ordered by one column, on a local book).
    bool reopenUnchanged(const QString& statement, const QVariantList& values = {});

    // Changes whenever the book's data may have changed since: a write by this connection, a
    // commit by any other, or a new connection.
    struct ChangeStamp
    {
        qint64 connection = 0;
        qint64 dataVersion = 0;
        qint64 changes = 0;
        bool operator==(const ChangeStamp&) const = default;
    };
    ChangeStamp changeStamp() const;
    // True when no row of table can have changed since the stamp (until another, or now):
    // nothing was written in between, or only this program's own statements on other tables.
    bool tableUnchangedSince(const ChangeStamp& since, const QString& table) const
    {
        return tableUnchangedSince(since, table, changeStamp());
    }
    bool tableUnchangedSince(const ChangeStamp& since, const QString& table,
                             const ChangeStamp& until) const;
    // A reading of statement (with no values) is kept aside while other readings replace it,
    // so that reopenUnchanged(statement) can bring it back instead of reading it again.
    void setKeptStatement(const QString& statement);
    // Whether a local book has an index whose first column is table's column.
    bool hasIndexOn(const QString& table, const QString& column) const;
    // Changes whenever the snapshot's rows or cells may have changed (a reading, a post, a
    // delete, a close); a sort or a put-back of an unchanged reading leaves it alone.
    quint64 contentVersion() const { return m_contentVersion; }
    void openTable(); // all rows of table()
    // The insert cursor: table()'s fields and no rows; appended rows join the snapshot.
    // Nothing reads the table through it, so a big book is not held twice in memory.
    void openForAppend();
    void execSql(const QString& statement, const QVariantList& values = {});
    // The key the last execSql insert gave its row.
    qint64 lastInsertId() const { return m_lastInsertId; }
    void close();
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    // Navigation. recNo() is 1-based, 0 when empty.
    int recordCount() const;
    int recNo() const { return isEmpty() ? 0 : m_current + 1; }
    bool isEmpty() const { return m_order.empty(); }
    bool eof() const { return m_eof; }
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int position); // 0-based position in the current order

    // Fields in their current order.
    int fieldCount() const { return static_cast<int>(m_fieldOrder.size()); }
    const FieldInfo& field(int index) const;
    int fieldIndex(const QString& name) const; // -1 when missing
    bool hasField(const QString& name) const { return fieldIndex(name) >= 0; }
    void moveField(const QString& name, int position);
    void setDisplayLabel(const QString& name, const QString& label);
    void setFieldVisible(const QString& name, bool visible);

    // Values of the current row (or of the edit buffer while editing).
    QVariant value(const QString& name) const;
    QVariant value(int fieldIndex) const;
    QString text(const QString& name) const; // null reads as empty text
    int asInteger(const QString& name) const;
    bool isNull(const QString& name) const;
    // Values by position in the current order, for views.
    QVariant valueAt(int position, int fieldIndex) const;
    QVariant valueAt(int position, const QString& name) const;

    // Editing: edit() or append(), then setValue(), then post() (or cancel()).
    void edit();
    void append();
    void setValue(const QString& name, const QVariant& value);
    void post();
    void cancel();
    void deleteCurrent();

    // The hidden key of the current row, and a way back to a row by its key.
    qint64 key() const;
    bool locateKey(qint64 key);

    // In-memory sort: a column name, optionally followed by " DESC". Empty restores SQL order.
    void setSort(const QString& sortText);
    QString sort() const { return m_sortText; }

    Bookmark bookmark() const;
    bool bookmarkValid(Bookmark bookmark) const;
    void gotoBookmark(Bookmark bookmark);

    // A whole-table listing of a big local book shows its last rows at once and reads the
    // others between events, in slices; anything that needs a row not yet read, or all of them,
    // has the rest read first. Views ask isUnread() and show such a row blank meanwhile.
    bool isFilling() const { return m_fill != nullptr; }
    bool isUnread(int position) const;
    // Reads the rest of a listing being filled in, now; throws DatabaseError as open() does.
    void finishFilling();
    // Listings of a table whose largest key reaches rows are filled in this way, firstRows
    // read at once. Returns the settings it replaces.
    struct FillSettings
    {
        qint64 fromRows;
        int firstRows;
    };
    static FillSettings setFillFrom(FillSettings settings);

    // Sum of a numeric field over all rows of the snapshot.
    double sum(const QString& name) const;
    // A money column's figures over all rows: their exact sum and the amount of largest
    // magnitude. A text stored among the numbers adds nothing.
    struct Totals
    {
        MoneySum sum;
        double largest = 0;
    };
    Totals totals(int fieldIndex) const;

signals:
    void aboutToReset();
    void resetDone(); // opened, closed, sorted or reordered
    void aboutToRemoveRow(int position);
    void rowRemoved(int position);
    void aboutToInsertRow(int position);
    void rowInserted(int position);
    void rowChanged(int position);
    void currentChanged(int position);
    // The rows being filled in are all read: the same rows in the same places.
    void filled();

private:
    // The distinct texts of a column, stored end to end: a big book repeats few of its kinds,
    // dates and names, and a QString per cell would cost more than the file itself.
    struct TextPool
    {
        std::vector<char16_t> chars;
        std::vector<quint32> starts{0}; // value i is chars[starts[i], starts[i + 1])
        quint32 add(QStringView text);
        quint32 add(QByteArrayView utf8);
        QStringView view(quint32 id) const
        {
            return QStringView(chars.data() + starts[id], starts[id + 1] - starts[id]);
        }
        quint32 size() const { return static_cast<quint32>(starts.size() - 1); }
    };

    struct Column
    {
        FieldInfo info;
        std::vector<quint32> textIds; // per row, into pool
        TextPool pool;
        std::vector<double> numbers;
        std::vector<qint64> integers;
        std::vector<bool> nulls;
        bool nonText = false; // a text column that also holds numbers or blobs
        bool isText() const
        {
            return info.type != FieldType::Float && info.type != FieldType::Integer;
        }
    };

    // What a reading leaves besides the field order: enough to bring it back.
    struct Reading
    {
        std::vector<Column> columns;
        std::vector<FieldInfo> readInfos;
        std::vector<qint64> keys;
        std::vector<int> sqlOrder;
        QString sql;
        QVariantList values;
        ChangeStamp stamp;
        bool hasKey = false;
        int keyResultColumn = -1;
    };
    std::unique_ptr<Reading> keepAside(const QString& statement);
    void swapReading(Reading& reading);

    QSqlDatabase database() const;
    void requireOpen() const;
    void requireBrowse() const;
    void requireRecord() const;
    class CellSink;
    // load()'s steps: prepare and bind, describe the columns, read the rows, index them.
    void load(const QString& statement, const QVariantList& values, bool fillAllowed = true);
    static sqlite3_stmt* prepareBound(sqlite3* handle, const QString& statement,
                                      const QVariantList& values);
    int describeColumns(sqlite3_stmt* stmt, int firstStep); // the key's column, or -1
    // Reads rows until the result ends (rc SQLITE_DONE) or the deadline passes (rc SQLITE_ROW);
    // a sink given carries the distinct texts over from an earlier call. Returns the rows read.
    int readRows(sqlite3_stmt* stmt, int keyColumn, int& rc, CellSink* sink = nullptr,
                 int firstRow = 0, const QDeadlineTimer* deadline = nullptr);
    struct SinkDeleter
    {
        void operator()(CellSink* sink) const;
    };
    using SinkPtr = std::unique_ptr<CellSink, SinkDeleter>;
    static SinkPtr makeSink(std::vector<Column>& columns);
    void loadFromServer(QSqlDatabase& db, const QString& statement, const QVariantList& values);
    // order, when given, maps positions to physical rows; otherwise they are the same.
    void finishLoad(const QVariantList& values, const ChangeStamp& stamp, int rows,
                    std::vector<int> order = {});
    // Filling in a big listing (see isFilling()).
    struct Filling;
    enum class FillStep { More, Done, BookChanged };
    bool startFilling(sqlite3* handle, const QVariantList& values, const ChangeStamp& stamp,
                      const QString& sortName, bool descending);
    void dropFilling();
    FillStep fillSome(int budgetMs); // budgetMs < 0: to the end
    void fillOnIdle();
    void completeFilling();
    void rereadWhole(bool fillAllowed); // the book changed while a listing was filled in
    void ensureFilled() const;
    int appendBlankRow();
    static qint64 largestKey(sqlite3* handle, const QString& table);
    void permuteRows(const std::vector<int>& order); // physical row i becomes order[i]
    // Reads run (statement itself, or a scan of its table to be sorted by sortName); false when
    // the scan cannot stand in for the statement.
    bool readSqlite(sqlite3* handle, const QString& run, const QVariantList& values,
                    const QString& statement, const ChangeStamp& stamp, const QString& sortName,
                    bool descending);
    std::vector<int> orderLikeIndex(int column, bool descending, int rows) const;
    // select * from table() order by one of its columns, with nothing else.
    bool wholeTableOrder(const QString& statement, QString& column, bool& descending) const;
    void clearData();
    QVariant cell(int physicalRow, int column) const;
    void storeCell(int physicalRow, int column, const QVariant& value);
    int physicalColumn(const QString& name) const;
    void applySort();
    void resetFields();
    void setCurrent(int position);
    sqlite3* sqliteHandle() const; // null for a server book
    // Own writes: noted after each one, taken into a reading by reopenUnchanged().
    // select * from table() with a plain filter, ordered by one column.
    bool listsOneTable(const QString& statement) const;
    void reserveRows(sqlite3* handle, const QString& statement);
    void recordOwnWrite(const ChangeStamp& before, qint64 key);
    void recordStatement(const ChangeStamp& before, const QString& statement);
    void recordWrite(const ChangeStamp& before, const QString& table, qint64 key, int rows);
    bool takeInOwnWrites(const ChangeStamp& now);
    // The keys of table's rows this connection wrote since, when all its changes since are
    // noted ones.
    static bool ownWritesSince(const ChangeStamp& since, const ChangeStamp& now,
                               const QString& table, std::vector<qint64>& keys);
    bool rereadRow(const QString& filtered, qint64 key, int sortColumn, bool descending,
                   std::vector<int>& order);
    int compareRows(int left, int right, int column) const;

    QString m_connectionName;
    QString m_table;
    QString m_keyColumn;
    QString m_sql;
    QVariantList m_values;
    QString m_sortText;
    ChangeStamp m_loadedStamp;
    quint64 m_contentVersion = 0;
    State m_state = State::Inactive;

    std::vector<Column> m_columns;      // physical columns, as read
    std::vector<FieldInfo> m_readInfos; // their fields as the statement gave them
    std::vector<int> m_fieldOrder;      // visible order of physical columns
    std::vector<qint64> m_keys;         // hidden key per physical row (0 when none)
    std::vector<int> m_order;           // positions -> physical rows
    std::vector<int> m_sqlOrder;        // the order the statement returned
    int m_current = 0;
    bool m_eof = true;
    bool m_hasKey = false;
    int m_keyResultColumn = -1; // the key's column in the statement's result
    qint64 m_lastInsertId = 0;
    QString m_keptStatement;
    std::unique_ptr<Reading> m_kept;
    std::unique_ptr<Filling> m_fill;
    QTimer* m_fillTimer = nullptr;
    QVector<QVariant> m_buffer; // edit buffer, per physical column
    std::vector<bool> m_changed;
};
