#include "testsupport.h"

#include "app/mainform.h"
#include "app/startup.h"
#include "data/dm.h"

#include <QApplication>
#include <QDir>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace testsupport {

void ScriptedMessages::warning(QWidget*, const QString& text)
{
    shown.append({QStringLiteral("warning"), QStringLiteral("Warning"), text});
}

void ScriptedMessages::information(QWidget*, const QString& text)
{
    shown.append({QStringLiteral("information"), applicationTitle(), text});
}

void ScriptedMessages::critical(QWidget*, const QString& text)
{
    shown.append({QStringLiteral("critical"), applicationTitle(), text});
}

bool ScriptedMessages::question(QWidget*, const QString& text, const QString& title)
{
    shown.append({QStringLiteral("question"), title, text});
    if (answers.empty()) {
        qWarning("unscripted question: %s", qPrintable(text));
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedMessages::yesNo(QWidget*, const QString& title, const QString& text, bool noIsDefault)
{
    shown.append({QStringLiteral("yesNo"), title, text});
    lastNoIsDefault = noIsDefault;
    if (answers.empty()) {
        qWarning("unscripted yes/no question: %s", qPrintable(text));
        return false;
    }
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

QString ScriptedMessages::saveFileName(QWidget*, const QString& filter,
                                       const QString& defaultSuffix)
{
    shown.append({QStringLiteral("save"), QString(), filter});
    lastFilter = filter;
    lastSuffix = defaultSuffix;
    if (fileNames.empty())
        return {};
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

QString ScriptedMessages::openFileName(QWidget*)
{
    shown.append({QStringLiteral("open"), QString(), QString()});
    if (fileNames.empty())
        return {};
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

QString ScriptedMessages::openFile(QWidget* parent, const QString& filter)
{
    lastFilter = filter;
    return openFileName(parent);
}

int ScriptedMessages::choice(QWidget*, const QString& title, const QString& text,
                             const QStringList& buttons)
{
    shown.append({QStringLiteral("choice"), title, text});
    if (choices.empty()) {
        qWarning("unscripted choice: %s", qPrintable(text));
        return int(buttons.size()) - 1;
    }
    const int index = choices.front();
    choices.pop_front();
    return index;
}

void ScriptedMessages::clear()
{
    shown.clear();
    answers.clear();
    fileNames.clear();
    choices.clear();
}

QStringList ScriptedMessages::texts() const
{
    QStringList list;
    for (const Shown& s : shown)
        list << s.text;
    return list;
}

ScriptedMessages& scripted()
{
    static ScriptedMessages service;
    return service;
}

MainWindowSession::MainWindowSession()
{
    MainForm = new TMainForm();
    dmfm = new Tdmfm(book.openName());
    MainForm->bindData();
    MainForm->show();
    MainForm->Button12Click();
}

MainWindowSession::~MainWindowSession()
{
    startup::destroyWindows();
}

qint64 MainWindowSession::add(const QString& kind, const QString& day, const QString& summary,
                              const QString& counterparty, double income, double received,
                              double expense, double paid, const QString& marker)
{
    const qint64 key = insertRecord(book.bookPath(), kind, day, summary, counterparty, income,
                                    received, expense, paid, marker);
    return key;
}

void MainWindowSession::reload()
{
    MainForm->Button12Click();
}

void typeText(QWidget* w, const QString& text)
{
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void prepareApplication()
{
    startup::prepareApplication(*qApp);
    setMessageService(&scripted());
}

} // namespace testsupport
