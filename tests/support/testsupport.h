#pragma once

#include "datasupport.h"
#include "gui/messages.h"

#include <QList>
#include <QString>
#include <QStringList>
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
    QString openFile(QWidget* parent, const QString& filter) override; // keeps lastFilter
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

// Types text into the focused widget of w, Chinese included.
void typeText(QWidget* w, const QString& text);

// Prepares the application as the program does and installs the scripted messages.
void prepareApplication();

} // namespace testsupport

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
