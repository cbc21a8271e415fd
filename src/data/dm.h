#pragma once

#include "data/bookwatcher.h"
#include "data/bookwriter.h"
#include "data/changejournal.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QObject>
#include <QSqlDatabase>

#include <memory>

// The start-up could not open the book: the message names the file and the cause.
class StartupError : public QuenvaleError
{
public:
    using QuenvaleError::QuenvaleError;
};

// Another program holds the book locked; trying again later may succeed.
class BookInUseError : public StartupError
{
public:
    using StartupError::StartupError;
};

// The data module: the one connection and the datasets every window shares.
class Tdmfm : public QObject
{
    Q_OBJECT

public:
    // Connects at once to fileName, resolved against the working folder.
    explicit Tdmfm(const QString& fileName = QStringLiteral("data.mdb"), QObject* parent = nullptr);
    ~Tdmfm() override;

    // Closing closes every dataset; opening re-opens none of them.
    void setConnected(bool connected);
    bool connected() const;
    QSqlDatabase connection() const;
    // The full path of the book as it was resolved at the last connect (for a server book, its
    // name as shown to people, without a password).
    QString databasePath() const { return m_path; }
    // True when the book is kept on a PostgreSQL server.
    bool isServer() const;
    QString fileName() const { return m_fileName; }

    // Checks that path is an existing Quenvale book; throws StartupError naming path otherwise.
    static void checkBook(const QString& path);
    // Checks that the book at path and its folder (where SQLite keeps its journal) can be
    // written; throws StartupError with the cause otherwise.
    static void checkWritable(const QString& path);

    // The journal of this connection's own writes, and the one path every record write takes;
    // the datasets below read and write through them.
    ChangeJournal* journal() const { return m_journal.get(); }
    BookWriter* writer() const { return m_writer; }
    // Tells when another copy wrote; the grid's listing then takes those rows in.
    BookWatcher* watcher() const { return m_watcher; }

    Dataset* ADOQuery1;  // scratch query, one statement at a time
    Dataset* ADOQuery15; // the listing the grid shows
    Dataset* ADOTable5;  // the insert cursor on data

private:
    void connectServer();

    QString m_fileName;
    QString m_path;
    QString m_connectionName;
    std::unique_ptr<ChangeJournal> m_journal;
    BookWriter* m_writer;
    BookWatcher* m_watcher;
};

extern Tdmfm* dmfm;
