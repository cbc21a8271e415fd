// Start-up and exit: what stops the program before the login, what may not, and the close
// that the system asks for.
#include "app/mainform.h"
#include "app/startup.h"
#include "data/dm.h"
#include "data/sql.h"
#include "maintenance/bookcheck.h"
#include "shortcut/shortcut.h"
#include "testsupport.h"
#include "users/login.h"

#include <QCryptographicHash>
#include <QProcess>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QByteArray digest(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// The real login window on the session's main window, as the administrator.
void logIn()
{
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    loginfm->show();
    loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
    loginfm->Edit1->setText(QStringLiteral("574"));
    loginfm->bitbtn4->click();
}

QString jtime(const QString& book, int id)
{
    return scalar(book, QStringLiteral("select jtime from rz where id=?"), {id}).toString();
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        scripted().clear();
        clearSettings();
    }
    void tamperedMonthChoiceDoesNotLockOut();
    void bookWithOtherColumnsIsRefusedUnchanged();
    void lockedBookIsInUseNotForeign();
    void unwritableBookIsNamedBeforeTheLogin();
    void systemSignalsCloseWithLogout();
    void launcherOnBareAccountAndInMenu();
};

void StartupTest::tamperedMonthChoiceDoesNotLockOut()
{
    const QString conf = QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                   QStringLiteral("morvath"), QStringLiteral("qvbook"))
                             .fileName();
    QDir().mkpath(QFileInfo(conf).absolutePath());
    for (const QByteArray& text : {QByteArray("[General]\nn0=yes, no\nsave=/x.mdb\n"),
                                   QByteArray("[General]\nn0=@ByteArray(no)\n")}) {
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) > 0);
        f.close();
        scripted().clear();
        MainWindowSession session;
        logIn();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("Invalid data type for 'n0'")});
        QVERIFY(!loginfm->isVisible());
        QVERIFY(MainForm->LoginLogId > 0);
        QCOMPARE(scalar(session.book.bookPath(), QStringLiteral("select count(*) from rz")), 1);
        QCOMPARE(MainForm->baseQuery(), QStringLiteral("select * from data order by day1"));
        QCOMPARE(digest(conf), QCryptographicHash::hash(text, QCryptographicHash::Sha256));
    }
}

void StartupTest::bookWithOtherColumnsIsRefusedUnchanged()
{
    // Other columns in data; a third column in userdb, where users are added without a list.
    const QList<QStringList> layouts = {
        {QStringLiteral("data"), QStringLiteral("data (x, y)"), QStringLiteral("no such column")},
        {QStringLiteral("userdb"), QStringLiteral("userdb (username, passwd, note)"),
         QStringLiteral("3 columns")}};
    for (const QStringList& layout : layouts) {
        BookFolder book;
        {
            sql::ScopedConnection conn(book.bookPath());
            sql::exec(conn.db(), QStringLiteral("drop table ") + layout[0]);
            sql::exec(conn.db(), QStringLiteral("create table ") + layout[1]);
        }
        const QByteArray before = digest(book.bookPath());
        QVERIFY(!startup::createWindows());
        const QString text = scripted().lastText();
        QVERIFY2(text.startsWith(u'\'' + book.bookPath() + QStringLiteral("' is not a Quenvale")) &&
                     text.contains(layout[2]),
                 qPrintable(text));
        QCOMPARE(digest(book.bookPath()), before);
        // The restore refuses it for the same reason.
        QString why;
        QVERIFY(!bookcheck::isBook(book.bookPath(), &why) && text.contains(why));
    }
}

void StartupTest::lockedBookIsInUseNotForeign()
{
    BookFolder book;
    const QByteArray before = digest(book.bookPath());
    {
        sql::ScopedConnection other(book.bookPath());
        sql::exec(other.db(), QStringLiteral("BEGIN EXCLUSIVE"));
        scripted().answers = {false};
        QVERIFY(!startup::createWindows());
        QCOMPARE(scripted().shown.size(), 1);
        QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
        const QString text = scripted().lastText();
        QVERIFY2(text.contains(QStringLiteral("“") + book.bookPath() +
                               QStringLiteral("”正被另一个程序使用")) &&
                     text.contains(QStringLiteral("是否重试")) &&
                     !text.contains(QStringLiteral("not a")),
                 qPrintable(text));
    }
    QCOMPARE(digest(book.bookPath()), before);
    QVERIFY(startup::createWindows()); // free again, the same book opens
    MainForm->setLoginGate(nullptr);
    startup::destroyWindows();
}

void StartupTest::unwritableBookIsNamedBeforeTheLogin()
{
    // Root writes anyway: the program runs as nobody then.
    const passwd* nobody = ::getpwnam("nobody");
    QVERIFY(nobody);
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    using P = QFile::Permissions;
    const P r = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const P w = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const P x = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    // A read-only file in a folder only its owner writes; a writable file in a read-only folder.
    const QList<std::tuple<P, P, QString>> cases = {
        {r, r | x | QFile::WriteOwner, QStringLiteral("文件的权限")},
        {r | w, r | x, QStringLiteral("文件夹")}};
    for (const auto& [file, folder, cause] : cases) {
        // Run from a build folder it cannot write, the program takes its book from the data
        // folder, as an installed copy does.
        QTemporaryDir dataHome;
        QFile::setPermissions(dataHome.path(), r | x | QFile::WriteOwner);
        QDir(dataHome.path()).mkdir(QStringLiteral("Quenvale"));
        const QDir dir(dataHome.filePath(QStringLiteral("Quenvale")));
        const QString path = dir.filePath(QStringLiteral("data.mdb"));
        makeFreshBook(path);
        QFile::setPermissions(path, file);
        QFile::setPermissions(dir.path(), folder);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(dir.path());
        if (::geteuid() == 0)
            program.setChildProcessModifier([uid, gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(97);
            });
        program.start(QStringLiteral(QUENVALE_PROGRAM), {});
        QString said;
        // Everything is said before any window shows; the box then waits for the operator.
        for (int i = 0; i < 100 && !said.contains(QStringLiteral("Quenvale: ")); ++i) {
            program.waitForReadyRead(200);
            said += QString::fromLocal8Bit(program.readAllStandardError());
        }
        program.kill(); // the box stays up until someone reads it
        program.waitForFinished();
        QFile::setPermissions(dir.path(), r | w | x);
        QVERIFY2(said.contains(QStringLiteral("“") + path + QStringLiteral("”")) &&
                     said.contains(QStringLiteral("无法写入")) && said.contains(cause),
                 qPrintable(said));
    }
}

void StartupTest::systemSignalsCloseWithLogout()
{
    startup::installOrderlyExit(*qApp);
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        MainWindowSession session;
        logIn();
        const int id = MainForm->LoginLogId;
        QVERIFY(id > 0 && jtime(session.book.bookPath(), id).isEmpty());
        QObject watchdog;
        QTimer::singleShot(0, &watchdog, [signal] { ::raise(signal); });
        QTimer::singleShot(10000, &watchdog, [] { QCoreApplication::exit(7); });
        QCOMPARE(QCoreApplication::exec(), 0); // the program's own loop and exit status
        QVERIFY(!MainForm->isVisible());
        QVERIFY(!jtime(session.book.bookPath(), id).isEmpty());
    }
}

void StartupTest::launcherOnBareAccountAndInMenu()
{
    QDir(shortcut::desktopFolder()).removeRecursively();
    // A program in a folder whose name needs every escape a desktop entry has.
    QTemporaryDir base;
    const QString folder = base.filePath(QStringLiteral("50% \"q\" $x `y` 'z' \\b 账"));
    const QString program = folder + QStringLiteral("/run me%u.sh");
    QVERIFY(QDir().mkpath(folder));
    QFile script(program);
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\npwd > ran.txt\n") > 0);
    script.close();
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    shortcut::place(program);
    for (const QString& entry : {shortcut::launcherPath(), shortcut::menuEntryPath()}) {
        QCOMPARE(QProcess::execute(QStringLiteral("desktop-file-validate"), {entry}), 0);
        // GLib, as the desktop does, starts the program in its folder.
        QFile ran(folder + QStringLiteral("/ran.txt"));
        ran.remove();
        QCOMPARE(QProcess::execute(QStringLiteral("gio"), {QStringLiteral("launch"), entry}), 0);
        QTRY_VERIFY(ran.size() > 0);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(ran.readAll()).trimmed(), folder);
    }
    QFile menu(shortcut::menuEntryPath());
    QVERIFY(menu.open(QIODevice::ReadOnly));
    QVERIFY(menu.readAll().contains("\nName[zh_CN]=Quenvale 现金账\n"));
}

QUENVALE_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
