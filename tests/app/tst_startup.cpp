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
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The program's start-up in a child process; as nobody when the tests run as root.
struct Driver
{
    QProcess process;
    QString output;

    void start(const QString& folder, const QStringList& login = {}, bool unprivileged = false)
    {
        if (unprivileged && ::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const uid_t uid = nobody->pw_uid;
            const gid_t gid = nobody->pw_gid;
            process.setChildProcessModifier([uid, gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(97);
            });
        }
        process.start(QStringLiteral(QUENVALE_APPDRIVER), QStringList{folder} + login);
        QVERIFY(process.waitForStarted());
    }
    // Waits for a line that starts with prefix; gives the rest of it.
    QString waitFor(const QString& prefix)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000) {
            for (const QString& line : output.split(u'\n'))
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            if (process.state() == QProcess::NotRunning)
                break;
            process.waitForReadyRead(200);
            output += QString::fromUtf8(process.readAllStandardOutput());
        }
        return QStringLiteral("<missing>");
    }
    bool finish()
    {
        const bool done = process.waitForFinished(30000);
        output += QString::fromUtf8(process.readAllStandardOutput());
        if (!done)
            process.kill();
        return done;
    }
};

void writeSettingsFile(const QByteArray& text)
{
    clearSettings();
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    QDir().mkpath(QFileInfo(s.fileName()).absolutePath());
    QFile f(s.fileName());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
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
    for (const QByteArray& stored : {QByteArray("n0=yes, no"), QByteArray("n0=@ByteArray(no)")}) {
        const QByteArray file = "[General]\n" + stored + "\nsave=/x/backup.mdb\n";
        writeSettingsFile(file);
        scripted().clear();
        MainWindowSession session;
        loginfm = new Tloginfm(MainForm);
        MainForm->setLoginGate(loginfm);
        loginfm->show();
        loginfm->ComboBox1->setEditText(QStringLiteral("超级管理员"));
        loginfm->Edit1->setText(QStringLiteral("574"));
        loginfm->bitbtn4->click();
        QCOMPARE(scripted().texts(), QStringList{QStringLiteral("Invalid data type for 'n0'")});
        QVERIFY(!loginfm->isVisible());
        QVERIFY(MainForm->LoginLogId > 0);
        QCOMPARE(scalar(session.book.bookPath(),
                        QStringLiteral("select username from rz where id=?"),
                        {MainForm->LoginLogId})
                     .toString(),
                 QStringLiteral("超级管理员"));
        // All records, and the file as it was.
        QVERIFY(!MainForm->CheckBox1->isChecked());
        QCOMPARE(MainForm->baseQuery(), QStringLiteral("select * from data order by day1"));
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                    QStringLiteral("qvbook"));
        QFile f(s.fileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), file);
    }
    clearSettings();
}

void StartupTest::bookWithOtherColumnsIsRefusedUnchanged()
{
    const QList<QStringList> layouts = {
        {QStringLiteral("create table data (x, y)"),
         QStringLiteral("create table userdb (username, passwd)"),
         QStringLiteral("create table rz (id, username, btime, jtime)")},
        // Users are added without a column list.
        {QStringLiteral("create table data (id integer primary key, a, day1, b, c, \"1\", \"2\", "
                        "\"3\", \"4\", \"5\", \"6\", o)"),
         QStringLiteral("create table userdb (username, passwd, note)"),
         QStringLiteral("create table rz (id, username, btime, jtime)")},
    };
    const QStringList causes = {QStringLiteral("no such column"), QStringLiteral("3 columns")};
    for (int i = 0; i < layouts.size(); ++i) {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        const QString path = dir.filePath(QStringLiteral("data.mdb"));
        {
            sql::ScopedConnection conn(path);
            for (const QString& statement : layouts[i])
                sql::exec(conn.db(), statement);
        }
        const QByteArray before = digest(path);
        scripted().clear();
        QVERIFY(!startup::createWindows());
        QVERIFY(!MainForm);
        QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
        const QString text = scripted().lastText();
        QVERIFY2(text.startsWith(u'\'' + path + QStringLiteral("' is not a Quenvale database")),
                 qPrintable(text));
        QVERIFY2(text.contains(causes[i]), qPrintable(text));
        QCOMPARE(digest(path), before);
        // The restore refuses it for the same reason.
        QString why;
        QVERIFY(!bookcheck::isBook(path, &why));
        QVERIFY2(text.contains(why), qPrintable(why));
        QDir::setCurrent(previous);
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
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!startup::createWindows());
        qInfo("a locked book was reported after %lld ms", clock.elapsed());
        QVERIFY(!MainForm);
        QCOMPARE(scripted().shown.size(), 1);
        QCOMPARE(scripted().lastKind(), QStringLiteral("yesNo"));
        const QString text = scripted().lastText();
        QVERIFY2(text.contains(QStringLiteral("正被另一个程序使用")), qPrintable(text));
        QVERIFY2(text.contains(book.bookPath()), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("重试")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("not a")), qPrintable(text));
        sql::exec(other.db(), QStringLiteral("ROLLBACK"));
    }
    QCOMPARE(digest(book.bookPath()), before);
    // Once the other program lets go, the same book opens.
    scripted().clear();
    QVERIFY(startup::createWindows());
    MainForm->setLoginGate(nullptr);
    QVERIFY(scripted().shown.isEmpty());
    startup::destroyWindows();
}

void StartupTest::unwritableBookIsNamedBeforeTheLogin()
{
    struct Case
    {
        QFile::Permissions folder;
        QFile::Permissions file;
        QString cause;
    };
    const auto r = QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
    const auto x = QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
    const auto w = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
    const Case cases[] = {
        {r | x | QFile::WriteOwner | QFile::WriteUser, r, QStringLiteral("文件的权限")},
        {r | x, r | w, QStringLiteral("文件夹")},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data.mdb"));
        makeFreshBook(path);
        QVERIFY(QFile::setPermissions(path, c.file));
        QVERIFY(QFile::setPermissions(dir.path(), c.folder));
        const QByteArray before = digest(path);
        Driver driver;
        driver.start(dir.path(), {}, true);
        const bool ended = driver.finish();
        QFile::setPermissions(dir.path(), r | x | w);
        QVERIFY2(ended, qPrintable(driver.output));
        QCOMPARE(driver.process.exitCode(), 1);
        QVERIFY2(!driver.output.contains(QStringLiteral("LOGINWINDOW")), qPrintable(driver.output));
        const QString shown = driver.waitFor(QStringLiteral("CRITICAL "));
        QVERIFY2(shown.contains(path), qPrintable(driver.output));
        QVERIFY2(shown.contains(QStringLiteral("无法写入")), qPrintable(shown));
        QVERIFY2(shown.contains(c.cause), qPrintable(shown));
        QCOMPARE(digest(path), before);
    }
}

void StartupTest::systemSignalsCloseWithLogout()
{
    BookFolder book;
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        Driver driver;
        driver.start(book.path(), {QStringLiteral("超级管理员"), QStringLiteral("574")});
        const int id = driver.waitFor(QStringLiteral("LOGIN ")).toInt();
        QVERIFY2(id > 0, qPrintable(driver.output));
        QVERIFY(scalar(book.bookPath(), QStringLiteral("select jtime from rz where id=?"), {id})
                    .isNull());
        ::kill(pid_t(driver.process.processId()), signal);
        QVERIFY2(driver.finish(), qPrintable(driver.output));
        QCOMPARE(driver.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(driver.process.exitCode(), 0);
        QVERIFY(!scalar(book.bookPath(), QStringLiteral("select jtime from rz where id=?"), {id})
                     .toString()
                     .isEmpty());
    }
    // Ended at the login window: no row at all.
    const int rows = scalar(book.bookPath(), QStringLiteral("select count(*) from rz")).toInt();
    Driver driver;
    driver.start(book.path());
    QCOMPARE(driver.waitFor(QStringLiteral("LOGINWINDOW")), QString());
    ::kill(pid_t(driver.process.processId()), SIGTERM);
    QVERIFY2(driver.finish(), qPrintable(driver.output));
    QCOMPARE(driver.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(driver.process.exitCode(), 0);
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select count(*) from rz")).toInt(), rows);
}

void StartupTest::launcherOnBareAccountAndInMenu()
{
    QDir(shortcut::desktopFolder()).removeRecursively();
    QFile::remove(shortcut::menuEntryPath());
    // A program in a folder whose name needs every escape a desktop entry has.
    QTemporaryDir base;
    const QString folder = base.filePath(QStringLiteral("50% \"q\" $x `y` 'z' \\b 账"));
    QVERIFY(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/run me%u.sh");
    {
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\npwd > ran.txt\n");
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    shortcut::place(program);

    for (const QString& entry : {shortcut::launcherPath(), shortcut::menuEntryPath()}) {
        QVERIFY2(QFile::exists(entry), qPrintable(entry));
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0, validate.readAllStandardOutput().constData());
        // GLib, as the desktop does, starts the program in its folder.
        QFile::remove(folder + QStringLiteral("/ran.txt"));
        QProcess launch;
        launch.start(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
        QVERIFY(launch.waitForFinished());
        QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
        QFile ran(folder + QStringLiteral("/ran.txt"));
        QTRY_VERIFY(ran.size() > 0);
        QVERIFY(ran.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(ran.readAll()).trimmed(), folder);
    }
    QFile raw(shortcut::menuEntryPath());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(raw.readAll())
                .contains(QStringLiteral("\nName[zh_CN]=Quenvale 现金账\n")));
}

QUENVALE_TEST_MAIN(StartupTest)
#include "tst_startup.moc"
