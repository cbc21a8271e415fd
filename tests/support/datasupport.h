#pragma once

// Test support that needs no window: temporary books, direct SQL, isolated settings. The data
// layer's tests link only this and quenvale_data.

#include "data/dataset.h"

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantList>
#include <QtTest>

namespace testsupport {

// True when QUENVALE_TEST_SERVER names the socket folder of a PostgreSQL server: each test's
// book is then a fresh database there instead of data.mdb.
bool onServer();

// False (after printing the marker the test registration reads as "skipped") when the tests
// should run on a server that is not there.
bool serverReady();

// A fresh temporary folder that is the working folder, with a fresh data.mdb in it (or, on a
// server, a fresh server book).
class BookFolder
{
public:
    BookFolder();
    ~BookFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // data.mdb's full path, or the server book's connection string.
    QString bookPath() const
    {
        return m_serverBook.isEmpty() ? file(QStringLiteral("data.mdb")) : m_serverBook;
    }
    // What the program opens: "data.mdb" in the working folder, or the server book.
    QString openName() const
    {
        return m_serverBook.isEmpty() ? QStringLiteral("data.mdb") : m_serverBook;
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    QString m_serverBook;
};

// A fresh book on the test server (a new database holding the tables and the administrator).
QString makeServerBook();

// Copies a prepared fresh book to path (hashing the administrator once per process).
void makeFreshBook(const QString& path);

// Removes the stored settings so a test starts as on a new machine.
void clearSettings();

// Adds one record through a private connection; returns its key.
qint64 insertRecord(const QString& bookPath, const QString& kind, const QString& day,
                    const QString& summary, const QString& counterparty, double income,
                    double received, double expense, double paid,
                    const QString& marker = QStringLiteral("1"));

// Runs a single-value statement through a private connection.
QVariant scalar(const QString& bookPath, const QString& statement, const QVariantList& values = {});

// Points HOME and the config folder into a temporary folder; call before QApplication.
void isolateEnvironment();

// Whole-table listings of fromRows rows or more are filled in between events while it lasts.
class FillFrom
{
public:
    FillFrom(qint64 fromRows, int firstRows, int serverSliceRows = 10000)
        : m_before(Dataset::setFillFrom({fromRows, firstRows, serverSliceRows}))
    {
    }
    ~FillFrom() { Dataset::setFillFrom(m_before); }
    FillFrom(const FillFrom&) = delete;
    FillFrom& operator=(const FillFrom&) = delete;

private:
    Dataset::FillSettings m_before;
};

// Every row of a reading in its order: the key and each field's value.
QStringList rowsOf(Dataset* d);

} // namespace testsupport

// A test that only means something for a local book file.
#define QUENVALE_LOCAL_BOOK_ONLY(why)                                                              \
    do {                                                                                           \
        if (testsupport::onServer())                                                               \
            QSKIP(why);                                                                            \
    } while (false)

// main() for a test program without windows: isolated settings, a core application.
#define QUENVALE_DATA_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testsupport::isolateEnvironment();                                                         \
        QCoreApplication app(argc, argv);                                                          \
        if (!testsupport::serverReady())                                                           \
            return 77;                                                                             \
        QCoreApplication::setApplicationName(QStringLiteral("Quenvale"));                          \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
