#include "data/cursorrows.h"

#include "data/errors.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"

#include <QMetaMethod>
#include <QSqlDriver>
#include <QSqlError>

#include <libpq-fe.h>

#include <charconv>
#include <vector>

namespace cursorrows {

namespace {

// Rows asked of the cursor at a time: large enough that the round trips do not count, small
// enough that a batch of a wide result stays a few megabytes.
constexpr int kBatchRows = 5000;

// The types of pg_type this reader converts; any other column goes through Qt's driver.
enum Oid : unsigned {
    Int8 = 20,
    Int2 = 21,
    Int4 = 23,
    Text = 25,
    Float4 = 700,
    Float8 = 701,
    Unknown = 705,
    Bpchar = 1042,
    Varchar = 1043,
    Numeric = 1700,
};

bool isTextType(unsigned oid)
{
    return oid == Text || oid == Varchar || oid == Bpchar || oid == Unknown;
}

bool isIntegerType(unsigned oid)
{
    return oid == Int2 || oid == Int4 || oid == Int8;
}

bool isFloatType(unsigned oid)
{
    return oid == Float4 || oid == Float8 || oid == Numeric;
}

struct ResultDeleter
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A value bound as text, as Qt's driver writes it into its EXECUTE; false for a type it would
// write otherwise.
bool asText(const QVariant& value, QByteArray& text, bool& isNull)
{
    isNull = value.isNull();
    if (isNull)
        return true;
    switch (value.metaType().id()) {
    case QMetaType::QString:
        text = value.toString().toUtf8();
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        text = value.toByteArray();
        return true;
    default:
        return false;
    }
}

class CursorRows : public RowSource
{
public:
    CursorRows(QSqlDatabase db, PGconn* conn, QString statement)
        : m_db(std::move(db)), m_conn(conn), m_statement(std::move(statement))
    {
    }

    bool prepare(const QVariantList& values, const QString& keyColumn, bool bounded)
    {
        int count = 0;
        const QString numbered = numberedPlaceholders(m_statement, count);
        if (count != values.size())
            return false; // the driver says what is wrong
        for (const QVariant& value : values) {
            QByteArray text;
            bool isNull = false;
            if (!asText(value, text, isNull))
                return false;
            m_values.push_back(text);
            m_nulls.push_back(isNull);
        }
        m_statement = numbered;
        discardPending();
        if (bounded) {
            // Few rows: the statement runs at once, in one round trip, and is read from its
            // result.
            m_result.reset(run(numbered.toUtf8()));
            if (PQresultStatus(m_result.get()) != PGRES_TUPLES_OK)
                throw DatabaseError(failure(m_result.get()));
            return describeFrom(m_result.get(), keyColumn);
        }
        const QByteArray utf8 = numbered.toUtf8();
        Result prepared(PQprepare(m_conn, "", utf8.constData(), count, nullptr));
        if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
            throw DatabaseError(failure(prepared.get()));
        Result described(PQdescribePrepared(m_conn, ""));
        if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
            throw DatabaseError(failure(described.get()));
        return describeFrom(described.get(), keyColumn);
    }

    // The result's columns as the store takes them; false when one is of another type.
    bool describeFrom(const PGresult* described, const QString& keyColumn)
    {
        QStringList names;
        for (int c = 0; c < PQnfields(described); ++c) {
            names << QString::fromUtf8(PQfname(described, c));
            m_oids.push_back(PQftype(described, c));
        }
        m_keyColumn = keyIndex(names, keyColumn);
        for (int c = 0; c < PQnfields(described); ++c) {
            const unsigned oid = m_oids[static_cast<size_t>(c)];
            const bool dated = schema::isDateColumn(names[c]);
            if (c == m_keyColumn
                    ? !isIntegerType(oid)
                    : !(isTextType(oid) || (!dated && (isIntegerType(oid) || isFloatType(oid)))))
                return false;
            FieldInfo info;
            info.name = names[c];
            info.type = dated                ? FieldType::Date
                        : isFloatType(oid)   ? FieldType::Float
                        : isIntegerType(oid) ? FieldType::Integer
                                             : FieldType::Text;
            m_fields.push_back(info);
        }
        return true;
    }

    int columnCount() const override { return static_cast<int>(m_oids.size()); }

    void describe(ColumnStore& store) override
    {
        for (size_t c = 0; c < m_fields.size(); ++c)
            if (static_cast<int>(c) != m_keyColumn)
                store.addColumn(m_fields[c]);
    }

    // The whole result, whatever the deadline: a cursor is never left open between events.
    Step read(ColumnStore::Appender& cells, const QDeadlineTimer&) override
    {
        if (m_done)
            return Step::Done;
        m_done = true;
        if (m_result) {
            const int rows = PQntuples(m_result.get());
            const bool ahead = m_sliceRows > 0 && rows == m_sliceRows && m_keyColumn >= 0 &&
                               m_values.size() == 1 && askAhead(rows - 1);
            for (int r = 0; r < rows; ++r)
                addRow(cells, m_result.get(), r);
            m_result.reset();
            if (ahead)
                receiveAhead();
            return Step::Done;
        }
        discardPending();
        const bool own = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
        // Planned as the plain statement would be: the whole result is wanted, not its first
        // rows.
        const bool read = (!own || command("begin; set local cursor_tuple_fraction = 1")) &&
                          declare() && fetchAll(cells) &&
                          command(own ? "close quenvale_rows; commit" : "close quenvale_rows");
        // A transaction of its own never outlives the reading, not even a failed one.
        if (!read && own && PQstatus(m_conn) == CONNECTION_OK &&
            PQtransactionStatus(m_conn) != PQTRANS_IDLE)
            Result(PQexec(m_conn, "rollback"));
        handOverNotifications();
        return read ? Step::Done : Step::Error;
    }

    bool readAheadEvery(int sliceRows) override
    {
        m_sliceRows = sliceRows;
        return true;
    }

    bool nextSlice(qint64 after) override
    {
        // A connection made again since (one cut underneath) has a handle of its own: this one
        // is gone, and the slice is asked for afresh.
        if (!m_ahead || m_aheadAfter != after || server::handleOf(m_db) != m_conn)
            return false;
        m_result = std::move(m_ahead);
        m_done = false;
        return true;
    }

private:
    // The slice after the key of the result's row, sent without waiting for its answer.
    bool askAhead(int row)
    {
        const PGresult* result = m_result.get();
        if (PQgetisnull(result, row, m_keyColumn))
            return false;
        const char* text = PQgetvalue(result, row, m_keyColumn);
        if (std::from_chars(text, text + PQgetlength(result, row, m_keyColumn), m_aheadAfter).ec !=
            std::errc())
            return false;
        const QByteArray statement = m_statement.toUtf8();
        const QByteArray after = QByteArray::number(m_aheadAfter);
        const char* params[] = {after.constData()};
        return PQsendQueryParams(m_conn, statement.constData(), 1, nullptr, params, nullptr,
                                 nullptr, 0) == 1;
    }

    // The slice asked ahead, kept when it came whole; a failure is met again when it is read
    // the usual way.
    void receiveAhead()
    {
        Result ahead(PQgetResult(m_conn));
        discardPending();
        if (PQresultStatus(ahead.get()) == PGRES_TUPLES_OK &&
            PQnfields(ahead.get()) == columnCount())
            m_ahead = std::move(ahead);
    }

    // A statement the driver left unread (a forward-only query not read to its end) is dropped
    // as the driver drops it before a statement of its own.
    void discardPending()
    {
        while (PGresult* r = PQgetResult(m_conn))
            PQclear(r);
    }

    QString failure(const PGresult* result) const
    {
        const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const QString text = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
        const QSqlError error(QString(), text, QSqlError::StatementError,
                              QString::fromLatin1(state ? state : ""));
        return server::connectionLost(m_db, error) ? server::lostText(m_db) : text;
    }

    bool command(const char* text)
    {
        Result result(PQexec(m_conn, text));
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK)
            return true;
        m_error = failure(result.get());
        return false;
    }

    // The statement run with its values, as text both ways.
    PGresult* run(const QByteArray& text) const
    {
        std::vector<const char*> params;
        for (size_t i = 0; i < m_values.size(); ++i)
            params.push_back(m_nulls[i] ? nullptr : m_values[i].constData());
        return PQexecParams(m_conn, text.constData(), static_cast<int>(params.size()), nullptr,
                            params.data(), nullptr, nullptr, 0);
    }

    bool declare()
    {
        Result result(run(QByteArrayLiteral("declare quenvale_rows no scroll cursor for ") +
                          m_statement.toUtf8()));
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK)
            return true;
        m_error = failure(result.get());
        return false;
    }

    // The next batch is asked for before this one is converted: the server reads on while the
    // client fills the store, as with one statement whose rows stream in.
    bool fetchAll(ColumnStore::Appender& cells)
    {
        static const QByteArray fetch =
            QByteArrayLiteral("fetch ") + QByteArray::number(kBatchRows) + " from quenvale_rows";
        if (PQsendQuery(m_conn, fetch.constData()) != 1) {
            m_error = failure(nullptr);
            return false;
        }
        for (;;) {
            Result batch(PQgetResult(m_conn));
            discardPending();
            if (PQresultStatus(batch.get()) != PGRES_TUPLES_OK ||
                PQnfields(batch.get()) != columnCount()) {
                m_error = failure(batch.get());
                return false;
            }
            const int rows = PQntuples(batch.get());
            const bool more = rows == kBatchRows;
            if (more && PQsendQuery(m_conn, fetch.constData()) != 1) {
                m_error = failure(nullptr);
                return false;
            }
            for (int r = 0; r < rows; ++r)
                addRow(cells, batch.get(), r);
            if (!more)
                return true;
        }
    }

    void addRow(ColumnStore::Appender& cells, const PGresult* batch, int r)
    {
        qint64 key = 0;
        if (m_keyColumn >= 0 && !PQgetisnull(batch, r, m_keyColumn)) {
            const char* text = PQgetvalue(batch, r, m_keyColumn);
            std::from_chars(text, text + PQgetlength(batch, r, m_keyColumn), key);
        }
        cells.beginRow(key);
        size_t col = 0;
        for (int c = 0; c < columnCount(); ++c) {
            if (c == m_keyColumn)
                continue;
            if (PQgetisnull(batch, r, c)) {
                cells.addNull(col++);
                continue;
            }
            const char* text = PQgetvalue(batch, r, c);
            const int length = PQgetlength(batch, r, c);
            switch (cells.type(col)) {
            case FieldType::Float: {
                // The server writes the shortest text that reads back as the same double
                // ("Infinity" and "NaN" included), as the driver would have converted it.
                double value = 0;
                std::from_chars(text, text + length, value);
                cells.addNumber(col, value);
                break;
            }
            case FieldType::Integer: {
                qint64 value = 0;
                std::from_chars(text, text + length, value);
                cells.addInteger(col, value);
                break;
            }
            default:
                cells.addText(col, QByteArrayView(text, length));
            }
            ++col;
        }
    }

    // A notification that came off the socket together with the reading's last answer waits in
    // libpq, and the driver looks only when its socket has news: it is asked to look now.
    void handOverNotifications()
    {
        QSqlDriver* driver = m_db.driver();
        if (!driver || driver->subscribedToNotifications().isEmpty())
            return;
        const int index = driver->metaObject()->indexOfMethod("_q_handleNotification()");
        if (index >= 0)
            driver->metaObject()->method(index).invoke(driver, Qt::QueuedConnection);
    }

    QSqlDatabase m_db;
    PGconn* m_conn;
    QString m_statement;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_nulls;
    std::vector<unsigned> m_oids;
    std::vector<FieldInfo> m_fields;
    Result m_result; // a bounded statement's rows, read at once
    int m_sliceRows = 0;
    Result m_ahead; // the next slice's rows, asked for while this one was converted
    qint64 m_aheadAfter = 0;
    bool m_done = false;
};

} // namespace

QString numberedPlaceholders(const QString& statement, int& count)
{
    QString out;
    out.reserve(statement.size() + 8);
    count = 0;
    QChar quote;
    for (const QChar ch : statement) {
        if (!quote.isNull()) {
            if (ch == quote)
                quote = QChar();
        } else if (ch == u'\'' || ch == u'"') {
            quote = ch;
        } else if (ch == u'?') {
            out += u'$';
            out += QString::number(++count);
            continue;
        }
        out += ch;
    }
    return out;
}

std::unique_ptr<RowSource> open(QSqlDatabase db, const QString& statement,
                                const QVariantList& values, const QString& keyColumn, bool bounded)
{
    server::reconnectIfLost(db);
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("Connection is closed"));
    PGconn* conn = server::handleOf(db);
    if (!conn)
        return nullptr;
    const QString text = sql::dialect(db, statement);
    auto rows = std::make_unique<CursorRows>(db, conn, text);
    if (!rows->prepare(values, keyColumn, bounded))
        return nullptr;
    return rows;
}

} // namespace cursorrows
