#pragma once

#include "data/columnstore.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <memory>

// The rows of one statement, read into a ColumnStore a slice at a time: a local book through
// its sqlite3 handle, a server book through Qt's driver, forward only. Why the handle and not
// Qt's driver for the local book: the driver hands every cell over as a QVariant and every text
// as a fresh QString, which for a big book costs more than SQLite's reading itself.
class RowSource
{
public:
    enum class Step { More, Done, Error };

    virtual ~RowSource();
    // How many rows a statement gives: any number, or few (a limit, one key), which a server
    // book reads in one go.
    enum class Size { Any, Few };

    // Runs statement with its values bound; throws DatabaseError when it does not run. A column
    // named keyColumn (letter case aside) is the hidden key, not one of the columns.
    static std::unique_ptr<RowSource> open(const QSqlDatabase& db, const QString& statement,
                                           const QVariantList& values, const QString& keyColumn,
                                           Size size = Size::Any);

    // Adds the result's columns, the key aside, to an empty store.
    virtual void describe(ColumnStore& store) = 0;
    // The result's columns, the key included.
    virtual int columnCount() const = 0;
    bool hasKey() const { return m_keyColumn >= 0; }
    // Reads rows into the store the appender fills until the result ends (Done), the deadline
    // passes (More) or the engine fails (Error, see error()).
    virtual Step read(ColumnStore::Appender& cells, const QDeadlineTimer& deadline) = 0;
    QString error() const { return m_error; }

    // Slices of a statement bounded by one key (key > ? order by key limit n): once a read()
    // gives n rows, the slice after its last key is asked for before they are converted, so the
    // server reads it meanwhile; it is received before read() returns (nothing is left running
    // between events). Only a server book's reader does this; false elsewhere.
    virtual bool readAheadEvery(int sliceRows)
    {
        Q_UNUSED(sliceRows);
        return false;
    }
    // Makes the slice after key, read ahead, the one read() reads next; false when there is none.
    virtual bool nextSlice(qint64 after)
    {
        Q_UNUSED(after);
        return false;
    }

protected:
    // Where keyColumn (letter case aside) is among the result's names; -1 when it is not.
    static int keyIndex(const QStringList& names, const QString& keyColumn);

    int m_keyColumn = -1; // in the result
    QString m_error;
};
