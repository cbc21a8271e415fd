#pragma once

#include "app/messages.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>

#include <deque>

class QWidget;

namespace testsupport {

// Records every box the program shows and answers questions as the test says.
class ScriptedMessages : public MessageService
{
public:
    struct Shown
    {
        QString kind; // warning, information, critical, question, yesNo, save, open, choice
        QString title;
        QString text;
    };

    void warning(QWidget* parent, const QString& text) override;
    void information(QWidget* parent, const QString& text) override;
    void critical(QWidget* parent, const QString& text) override;
    bool question(QWidget* parent, const QString& text, const QString& title) override;
    bool yesNo(QWidget* parent, const QString& title, const QString& text,
               bool noIsDefault) override;
    QString saveFileName(QWidget* parent, const QString& filter,
                         const QString& defaultSuffix) override;
    QString openFileName(QWidget* parent) override;
    int choice(QWidget* parent, const QString& title, const QString& text,
               const QStringList& buttons) override;

    // Answers used in order; a question without a scripted answer fails the test.
    std::deque<bool> answers;
    std::deque<QString> fileNames;
    // Button indexes for choices, in order; an unscripted choice takes the last button.
    std::deque<int> choices;

    QList<Shown> shown;
    QString lastFilter;
    QString lastSuffix;
    bool lastNoIsDefault = false;

    void clear();
    // The texts shown, in order.
    QStringList texts() const;
    QString lastText() const { return shown.isEmpty() ? QString() : shown.constLast().text; }
    QString lastKind() const { return shown.isEmpty() ? QString() : shown.constLast().kind; }
};

ScriptedMessages& scripted();

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

// The main window on a fresh book, as the program shows it after a login (no login window).
class MainWindowSession
{
public:
    MainWindowSession();
    ~MainWindowSession();
    BookFolder book;
    // Adds a record straight into the book and reloads the listing.
    qint64 add(const QString& kind, const QString& day, const QString& summary,
               const QString& counterparty, double income, double received, double expense,
               double paid, const QString& marker = QStringLiteral("1"));
    void reload();
};

// Copies a prepared fresh book to path (hashing the administrator once per process).
void makeFreshBook(const QString& path);

// Removes the stored settings so a test starts as on a new machine.
void clearSettings();

// Types text into the focused widget of w, Chinese included.
void typeText(QWidget* w, const QString& text);

// Adds one record through a private connection; returns its key.
qint64 insertRecord(const QString& bookPath, const QString& kind, const QString& day,
                    const QString& summary, const QString& counterparty, double income,
                    double received, double expense, double paid,
                    const QString& marker = QStringLiteral("1"));

// Runs a single-value statement through a private connection.
QVariant scalar(const QString& bookPath, const QString& statement, const QVariantList& values = {});

// Points HOME and the config folder into a temporary folder; call before QApplication.
void isolateEnvironment();

// Prepares the application as the program does and installs the scripted messages.
void prepareApplication();

} // namespace testsupport

// A test that only means something for a local book file.
#define QUENVALE_LOCAL_BOOK_ONLY(why)                                                              \
    do {                                                                                           \
        if (testsupport::onServer())                                                               \
            QSKIP(why);                                                                            \
    } while (false)

// main() for a test program: isolated settings, offscreen application, scripted boxes.
#define QUENVALE_TEST_MAIN(TestClass)                                                              \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        testsupport::isolateEnvironment();                                                         \
        QApplication app(argc, argv);                                                              \
        if (!testsupport::serverReady())                                                           \
            return 77;                                                                             \
        testsupport::prepareApplication();                                                         \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
