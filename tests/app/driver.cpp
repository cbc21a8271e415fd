// The program as it starts, with its boxes printed instead of shown and a scripted login:
//
//   quenvale_appdriver FOLDER [USER PASSWORD]
//
// Runs the start-up and the message loop in FOLDER. Prints "LOGINWINDOW" when the login
// window shows, "LOGIN <id>" once USER has logged in, and every box as "<KIND> <text>"
// (questions are answered No). The exit status is the program's.
#include "app/messages.h"
#include "app/startup.h"
#include "users/login.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

void line(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

class PrintedMessages final : public MessageService
{
public:
    void warning(QWidget*, const QString& text) override
    {
        line(QStringLiteral("WARNING ") + text);
    }
    void information(QWidget*, const QString& text) override
    {
        line(QStringLiteral("INFO ") + text);
    }
    void critical(QWidget*, const QString& text) override
    {
        line(QStringLiteral("CRITICAL ") + text);
    }
    bool question(QWidget*, const QString& text, const QString&) override
    {
        line(QStringLiteral("QUESTION ") + text);
        return false;
    }
    bool yesNo(QWidget*, const QString&, const QString& text, bool) override
    {
        line(QStringLiteral("QUESTION ") + text);
        return false;
    }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    PrintedMessages printed;
    setMessageService(&printed);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 4) {
        std::fprintf(stderr, "usage: quenvale_appdriver FOLDER [USER PASSWORD]\n");
        return 2;
    }
    QDir::setCurrent(args.at(1));

    QTimer operatorAtKeyboard;
    bool seen = false;
    QObject::connect(&operatorAtKeyboard, &QTimer::timeout, &app, [&] {
        if (!loginfm || !loginfm->isVisible() || !MainForm)
            return;
        if (!seen) {
            seen = true;
            line(QStringLiteral("LOGINWINDOW"));
            if (args.size() == 4) {
                loginfm->ComboBox1->setEditText(args.at(2));
                loginfm->Edit1->setText(args.at(3));
                loginfm->bitbtn4->click();
                if (MainForm->LoginLogId > 0)
                    line(QStringLiteral("LOGIN %1").arg(MainForm->LoginLogId));
            }
        }
    });
    operatorAtKeyboard.start(20);
    return startup::run(app);
}
