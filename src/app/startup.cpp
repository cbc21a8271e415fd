#include "app/startup.h"

#include "app/bookplace.h"
#include "app/mainform.h"
#include "data/dm.h"
#include "data/foreigncode.h"
#include "data/legacy.h"
#include "data/server.h"
#include "gui/messages.h"
#include "gui/qttranslations.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "settings/settings.h"
#include "users/login.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QProxyStyle>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The program's own hints to the style, under every skin: tooltips show as soon as the mouse
// rests on a control, and a password field shows one "*" per character.
class ProgramHints final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 0;
        if (hint == QStyle::SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

namespace startup {

void prepareApplication(QApplication& app)
{
    QApplication::setStyle(new ProgramHints);
    QApplication::setApplicationName(QStringLiteral("Quenvale"));
    // The forms name 宋体; on this platform the Noto CJK faces stand in for it.
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"));
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(12);
    app.setFont(font);
}

namespace {

// A book still in the Access format is converted once, if the operator agrees; false ends
// the program.
bool convertAccessBook(const QString& path)
{
    if (!legacy::isAccessBook(path))
        return true;
    if (!messages().yesNo(
            nullptr, applicationTitle(),
            QStringLiteral("检测到 Access 格式的账本 data.mdb。是否转换为本程序的数据库格式？"
                           "原文件将保留为 data.mdb.access。"),
            true))
        return false;
    try {
        const legacy::Counts counts = legacy::convertBook(path);
        messages().information(
            nullptr, QStringLiteral("转换完成：导入记录 %1 条，用户 %2 个，登录日志 %3 条。")
                         .arg(counts.records)
                         .arg(counts.users)
                         .arg(counts.logins));
        return true;
    } catch (const QuenvaleError& e) {
        const QString text = QStringLiteral("转换失败：") + e.message();
        std::fprintf(stderr, "Quenvale: %s\n", text.toLocal8Bit().constData());
        messages().critical(nullptr, text);
        return false;
    }
}

// The data module, or nullptr once the operator has been told why there is none. A book that
// another program holds locked may be tried again.
Tdmfm* openBook(const QString& book)
{
    for (;;) {
        try {
            return new Tdmfm(book);
        } catch (const BookInUseError& e) {
            std::fprintf(stderr, "Quenvale: %s\n", e.message().toLocal8Bit().constData());
            if (!messages().yesNo(nullptr, applicationTitle(),
                                  e.message() + QStringLiteral("\n\n是否重试？"), false))
                return nullptr;
        } catch (const QuenvaleError& e) {
            std::fprintf(stderr, "Quenvale: %s\n", e.message().toLocal8Bit().constData());
            messages().critical(nullptr, e.message());
            return nullptr;
        }
    }
}

// What the book must be before anyone works in it: free of code another program put there, and
// in the current layout (both after an automatic backup). False when the program should end;
// the operator has been told why, and the book is as it was.
bool admitBook(const QString& book)
{
    QString step;
    try {
        QSqlDatabase db = dmfm->connection();
        const QList<foreigncode::Item> foreign = foreigncode::find(db);
        if (!foreign.isEmpty()) {
            const QString text =
                QStringLiteral("账本中有不是本程序建立的程序代码：\n%1\n\n这样的代码会在读写账本时"
                               "自动运行，可以暗中修改或删除记录。\n\n是否先自动备份账本，再删除"
                               "这些代码？选“否”则不打开账本，程序结束，账本不作改动。")
                    .arg(foreigncode::describe(foreign));
            if (!messages().yesNo(nullptr, applicationTitle(), text, true))
                return false;
            step = QStringLiteral("删除这些代码没有完成，账本没有改动：");
            const QString backup = autobackup::removeForeignCodeAfterBackup(book);
            messages().information(
                nullptr, QStringLiteral("这些代码已经删除。删除前的账本备份在“%1”。").arg(backup));
        }
        step = QStringLiteral("账本要升级到本程序的新格式，但升级没有完成，账本没有改动：");
        autobackup::upgradeAfterBackup(book);
    } catch (const QuenvaleError& e) {
        const QString text = step + explainedFailure(e.message());
        std::fprintf(stderr, "Quenvale: %s\n", text.toLocal8Bit().constData());
        messages().critical(nullptr, text);
        return false;
    }
    return true;
}

// Written from the signal handler, read by the GUI thread.
int signalPipe[2] = {-1, -1};

void onExitSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void describeOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Quenvale 现金账：记录收入和支出，以及应收、应付的余额。\n"
                       "不带参数时打开本机的账本 data.mdb；使用说明见 /usr/share/doc/quenvale/"
                       "用户手册.md，或在程序中按 F1。"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("book"),
                      QStringLiteral("打开 PostgreSQL 服务器上的账本，而不是本机的 data.mdb。"
                                     "连接串写成 postgresql://用户@主机:端口/数据库 或 "
                                     "service=服务名；密码不写在这里，放在 ~/.pgpass 中。"),
                      QStringLiteral("conninfo")});
}

namespace {

QString chosenBook(const QCommandLineParser& parser)
{
    if (parser.isSet(QStringLiteral("book")))
        return parser.value(QStringLiteral("book"));
    try {
        return settings::read(settings::kServerBook).value_or(QString()).trimmed();
    } catch (const QuenvaleError&) {
        return {};
    }
}

} // namespace

bool answersAlone(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--help" || word == "-h" || word == "-?" || word == "--help-all" ||
            word == "--version" || word == "-v")
            return true;
    }
    return false;
}

int answer(QCoreApplication& app)
{
    QCoreApplication::setApplicationName(QStringLiteral("Quenvale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENVALE_VERSION));
    qttranslations::load(); // the parser's own words in Chinese, as the windows speak
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app); // prints the help or the version and ends the program
    return 0;
}

bool createWindows(const QString& book)
{
    const bool onServer = server::isServerBook(book);
    if (!onServer) {
        bookcopy::removeLeftovers(QDir::currentPath());
        if (!convertAccessBook(QStringLiteral("data.mdb")))
            return false;
    }
    MainForm = new TMainForm();
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    dmfm = openBook(onServer ? book : QStringLiteral("data.mdb"));
    if (dmfm && !admitBook(onServer ? book : dmfm->databasePath())) {
        delete dmfm;
        dmfm = nullptr;
    }
    if (!dmfm) {
        delete MainForm;
        MainForm = nullptr;
        loginfm = nullptr;
        return false;
    }
    MainForm->bindData();
    MainForm->show();
    return true;
}

void destroyWindows()
{
    delete MainForm; // owns the login window
    MainForm = nullptr;
    loginfm = nullptr;
    delete dmfm;
    dmfm = nullptr;
}

bool closeOrderly()
{
    static bool closing = false;
    if (closing)
        return false;
    closing = true;
    bool closed = true;
    // Before the book is open nobody has logged in: only the question on screen is left.
    if (MainForm && dmfm) {
        // Tool windows first, so each finishes as its own close would (the backup window
        // reconnects the book the logout needs).
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows) {
            if (w != MainForm && w != loginfm && w->isVisible() && !w->isModal() &&
                w->parentWidget() == MainForm)
                w->close();
        }
        closed = !MainForm->isVisible() || MainForm->close();
    }
    if (closed)
        QCoreApplication::exit(0); // leaves any box or modal window still open as well
    closing = false;
    return closed;
}

void installOrderlyExit(QApplication& app)
{
    if (signalPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
            std::perror("Quenvale: socketpair");
            return;
        }
        struct sigaction action = {};
        action.sa_handler = onExitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        closeOrderly();
    });
    // The session is ending: log out now, while the book can still be written.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [](QSessionManager&) { closeOrderly(); });
    // Whatever else ends the loop, the login-log row is completed.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [] {
        if (MainForm && dmfm && MainForm->isVisible())
            MainForm->close();
    });
}

int run(QApplication& app)
{
    prepareApplication(app);
    qttranslations::load();
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENVALE_VERSION));
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app); // an unknown option is reported and ends the program
    installOrderlyExit(app);
    // A server book (--book or the serverbook setting) needs no local folder prepared.
    const QString book = chosenBook(parser);
    if (!book.isEmpty() && !server::isServerBook(book)) {
        messages().critical(nullptr,
                            QStringLiteral("“%1”不是服务器账本的连接串。请写成 "
                                           "postgresql://主机:端口/数据库 或 service=服务名。")
                                .arg(book));
        return 1;
    }
    if (server::hasPassword(book)) {
        messages().critical(nullptr,
                            QStringLiteral("服务器账本的连接串中不能写密码：请把密码放在 "
                                           "~/.pgpass 或服务文件中，或用 PGPASSWORD 提供。"));
        return 1;
    }
    if ((book.isEmpty() && !bookplace::prepare(QCoreApplication::applicationDirPath())) ||
        !createWindows(book))
        return 1;
    const int status = app.exec();
    destroyWindows();
    return status;
}

} // namespace startup
