// Login and its log, the desktop launcher, user management and the password change.
#include "app/mainform.h"
#include "data/dm.h"
#include "data/passwords.h"
#include "data/sql.h"
#include "gui/showorcreate.h"
#include "settings/settings.h"
#include "shortcut/shortcut.h"
#include "testsupport.h"
#include "users/changepass.h"
#include "users/login.h"
#include "users/usergl.h"

using namespace testsupport;

namespace {

void addUser(const QString& bookPath, const QString& name, const QString& password)
{
    sql::ScopedConnection conn(bookPath);
    sql::exec(conn.db(), QStringLiteral("insert into userdb values (?,?)"),
              {name, passwords::hash(password)});
}

int rzCount(const QString& bookPath)
{
    return scalar(bookPath, QStringLiteral("select count(*) from rz")).toInt();
}

// The login window as the program shows it, without blocking the test.
Tloginfm* showLogin()
{
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    loginfm->show();
    return loginfm;
}

void tryLogin(Tloginfm* login, const QString& name, const QString& password)
{
    login->ComboBox1->setEditText(name);
    login->Edit1->setText(password);
    login->bitbtn4->click();
}

QString passwordOf(const QString& bookPath, const QString& name)
{
    return scalar(bookPath, QStringLiteral("select passwd from userdb where username=?"), {name})
        .toString();
}

} // namespace

class UsersTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        scripted().clear();
        clearSettings();
    }
    void loginChecksNameAndPassword();
    void loginWritesOneLogRowAndLogoutClosesIt();
    void leavingTheLoginEndsTheProgram();
    void failedLogoutIsReportedAndTheCloseGoesOn();
    void storedMonthChoiceSetsTheFirstView();
    void passwordFieldTakesLettersAndDigitsOnly();
    void launcherIsWrittenAtEveryShowing();
    void userManagementStartsLocked();
    void administratorAddsResetsAndDeletesUsers();
    void passwordChangeChecksItsFields();
};

void UsersTest::loginChecksNameAndPassword()
{
    MainWindowSession session;
    addUser(session.book.bookPath(), QStringLiteral("Zhang"), QStringLiteral("abc123"));
    addUser(session.book.bookPath(), QStringLiteral("O'Neil"), QStringLiteral("pw1"));
    Tloginfm* login = showLogin();
    // Names listed once each, sorted; the first chosen.
    QCOMPARE(login->ComboBox1->count(), 3);
    QCOMPARE(login->ComboBox1->itemText(0), QStringLiteral("O'Neil"));
    QCOMPARE(login->ComboBox1->currentText(), QStringLiteral("O'Neil"));
    QCOMPARE(login->windowTitle(), QStringLiteral("用户登录"));
    QCOMPARE(login->size(), QSize(371, 160));

    tryLogin(login, QStringLiteral("   "), QStringLiteral("abc123"));
    QCOMPARE(scripted().lastText(), QStringLiteral("必须选择用户！"));
    QCOMPARE(scripted().lastKind(), QStringLiteral("warning"));
    tryLogin(login, QStringLiteral("Zhang"), QStringLiteral("  "));
    QCOMPARE(scripted().lastText(), QStringLiteral("必须输入密码！"));
    tryLogin(login, QStringLiteral("Zhang"), QStringLiteral("abc124"));
    QCOMPARE(scripted().lastText(), QStringLiteral("密码不正确！请重新输入！"));
    QCOMPARE(login->Edit1->text(), QString());
    QCOMPARE(login->ComboBox1->currentText(), QStringLiteral("Zhang"));
    // Blanks around the name are part of it.
    tryLogin(login, QStringLiteral(" Zhang "), QStringLiteral("abc123"));
    QCOMPARE(scripted().lastText(), QStringLiteral("密码不正确！请重新输入！"));
    QVERIFY(login->isVisible());
    QCOMPARE(rzCount(session.book.bookPath()), 0);
    QCOMPARE(MainForm->LoginLogId, 0);
    // Letter case does not matter; blanks around the password do not either.
    scripted().clear();
    tryLogin(login, QStringLiteral("zHANG"), QStringLiteral(" ABC123 "));
    QVERIFY(scripted().shown.isEmpty());
    QVERIFY(!login->isVisible());
    QVERIFY(MainForm->LoginLogId > 0);
    QCOMPARE(MainForm->statusText(1), QStringLiteral("zHANG"));
}

void UsersTest::loginWritesOneLogRowAndLogoutClosesIt()
{
    MainWindowSession session;
    addUser(session.book.bookPath(), QStringLiteral("O'Neil"), QStringLiteral("pw1"));
    // Another program's row, written after ours would be the largest id: ours is still found.
    Tloginfm* login = showLogin();
    tryLogin(login, QStringLiteral("O'Neil"), QStringLiteral("pw1"));
    const int id = MainForm->LoginLogId;
    QVERIFY(id > 0);
    {
        sql::ScopedConnection other(session.book.bookPath());
        sql::exec(other.db(),
                  QStringLiteral("insert into rz (username,btime) values ('other','x')"));
    }
    QCOMPARE(
        scalar(session.book.bookPath(), QStringLiteral("select username from rz where id=?"), {id})
            .toString(),
        QStringLiteral("O'Neil"));
    const QString btime =
        scalar(session.book.bookPath(), QStringLiteral("select btime from rz where id=?"), {id})
            .toString();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}( .+)?$")).match(btime).hasMatch(),
        qPrintable(btime));
    QVERIFY(scalar(session.book.bookPath(), QStringLiteral("select jtime from rz where id=?"), {id})
                .isNull());
    // Activating the main window again asks for nothing.
    MainForm->FormActivate();
    QVERIFY(!login->isVisible());

    QVERIFY(MainForm->close());
    QVERIFY(
        !scalar(session.book.bookPath(), QStringLiteral("select jtime from rz where id=?"), {id})
             .toString()
             .isEmpty());
    QVERIFY(scalar(session.book.bookPath(),
                   QStringLiteral("select jtime from rz where username='other'"))
                .isNull());
    QCOMPARE(rzCount(session.book.bookPath()), 2);
}

void UsersTest::leavingTheLoginEndsTheProgram()
{
    MainWindowSession session;
    Tloginfm* login = showLogin();
    QVERIFY(MainForm->isVisible());
    login->BitBtn1->click();
    QVERIFY(!login->isVisible());
    QVERIFY(!MainForm->isVisible());
    QCOMPARE(rzCount(session.book.bookPath()), 0);
    // The close box does the same; Esc does nothing.
    MainForm->show();
    login->show();
    QTest::keyClick(login, Qt::Key_Escape);
    QVERIFY(login->isVisible());
    login->close();
    QVERIFY(!MainForm->isVisible());
    QCOMPARE(rzCount(session.book.bookPath()), 0);
    // Even when the grid cannot load, leaving ends the program; the failure is reported.
    MainForm->show();
    login->show();
    dmfm->setConnected(false);
    scripted().clear();
    login->BitBtn1->click();
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY(!login->isVisible());
    QVERIFY(!MainForm->isVisible());
}

void UsersTest::failedLogoutIsReportedAndTheCloseGoesOn()
{
    MainWindowSession session;
    Tloginfm* login = showLogin();
    tryLogin(login, QStringLiteral("超级管理员"), QStringLiteral("574"));
    QVERIFY(MainForm->LoginLogId > 0);
    dmfm->setConnected(false);
    scripted().clear();
    QVERIFY(MainForm->close());
    QVERIFY(!MainForm->isVisible());
    QCOMPARE(scripted().lastKind(), QStringLiteral("critical"));
    QVERIFY(scripted().lastText().contains(QStringLiteral("程序照常关闭")));
    QVERIFY(scalar(session.book.bookPath(), QStringLiteral("select jtime from rz where id=?"),
                   {MainForm->LoginLogId})
                .toString()
                .isEmpty());
}

void UsersTest::storedMonthChoiceSetsTheFirstView()
{
    const QString month = QStringLiteral("select * from data where day1>=");
    for (const char* stored : {"no", "yes", "NO", ""}) {
        clearSettings();
        if (*stored)
            settings::write(settings::kMonthOnly, QString::fromLatin1(stored));
        MainWindowSession session;
        Tloginfm* login = showLogin();
        tryLogin(login, QStringLiteral("超级管理员"), QStringLiteral("574"));
        QVERIFY(MainForm->LoginLogId > 0);
        const bool monthOnly = QByteArray(stored) == "no";
        QCOMPARE(MainForm->CheckBox1->isChecked(), monthOnly);
        QCOMPARE(MainForm->baseQuery().startsWith(month), monthOnly);
        QVERIFY(dmfm->ADOQuery15->isOpen());
    }
}

void UsersTest::passwordFieldTakesLettersAndDigitsOnly()
{
    MainWindowSession session;
    Tloginfm* login = showLogin();
    typeText(login->Edit1, QStringLiteral("ab-1 2'密C!3456789XYZ"));
    QCOMPARE(login->Edit1->text(), QStringLiteral("ab12C34567"));
    QCOMPARE(login->Edit1->echoMode(), QLineEdit::Password);
    QCOMPARE(login->Edit1->displayText(), QString(10, u'*')); // in the built-in look too
    QTest::keyClick(login->Edit1, Qt::Key_Backspace);
    QCOMPARE(login->Edit1->text(), QStringLiteral("ab12C3456"));
    // Enter runs the check.
    QTest::keyClick(login->Edit1, Qt::Key_Return);
    QCOMPARE(scripted().lastText(), QStringLiteral("密码不正确！请重新输入！"));
}

void UsersTest::launcherIsWrittenAtEveryShowing()
{
    MainWindowSession session;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    QVERIFY(QDir().mkpath(desktop));
    const QString path = shortcut::launcherPath();
    QFile::remove(path);
    Tloginfm* login = showLogin();
    QVERIFY(QFile::exists(path));
    QSettings entry(path, QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(raw.readAll())
                .contains(QStringLiteral("\nExec=\"") + QCoreApplication::applicationFilePath() +
                          QStringLiteral("\"\n")));
    QCOMPARE(entry.value(QStringLiteral("Path")).toString(),
             QCoreApplication::applicationDirPath());
    QCOMPARE(entry.value(QStringLiteral("Comment")).toString(), QStringLiteral("Quenvale"));
    QVERIFY(QFile::exists(entry.value(QStringLiteral("Icon")).toString()));
    QVERIFY(QFileInfo(path).isExecutable());
    // Changed or deleted by the user, it is back at the next showing.
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("junk");
    f.close();
    login->hide();
    login->show();
    QVERIFY(QFile(path).size() > 100);
    QFile::remove(path);
    login->hide();
    login->show();
    QVERIFY(QFile::exists(path));
}

void UsersTest::userManagementStartsLocked()
{
    MainWindowSession session;
    MainForm->N13Click();
    Tuserglfm* window = MainForm->userglfm;
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("用户管理—(管理员专用)"));
    QVERIFY(!window->isUnlocked());
    QVERIFY(!window->ListBox1->isEnabled());
    window->LabeledEdit1->setText(QStringLiteral("575"));
    window->BitBtn3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("密码不对！"));
    QVERIFY(!window->isUnlocked());
    window->LabeledEdit1->setText(QStringLiteral("574"));
    window->BitBtn3->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("超级管理员登录成功！"));
    QVERIFY(window->isUnlocked());
    QCOMPARE(window->LabeledEdit1->text(), QString());
    // Opening it again brings the same, unlocked window forward.
    MainForm->N13Click();
    QCOMPARE(MainForm->userglfm, window);
    QVERIFY(window->isUnlocked());
    QPointer<Tuserglfm> closed = window;
    window->BitBtn2->click();
    QTRY_VERIFY(closed.isNull());
    MainForm->N13Click();
    QVERIFY(!MainForm->userglfm->isUnlocked());
}

void UsersTest::administratorAddsResetsAndDeletesUsers()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    MainForm->N13Click();
    Tuserglfm* window = MainForm->userglfm;
    window->LabeledEdit1->setText(QStringLiteral("574"));
    window->BitBtn3->click();
    scripted().clear();

    window->Edit6->setText(QStringLiteral("  超级管理员 "));
    window->BitBtn7->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("超级管理员只能有一个，不能增加"));
    window->Edit6->setText(QStringLiteral("   "));
    window->BitBtn7->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("请选择用户名！"));
    window->Edit6->setText(QStringLiteral(" O'Neil "));
    window->BitBtn7->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("成功添加新用户！缺省口令是：574,请此用户下次登录时及时修改口令！"));
    QVERIFY(passwords::verify(passwordOf(book, QStringLiteral("O'Neil")), QStringLiteral("574")));
    window->Edit6->setText(QStringLiteral("o'neil"));
    window->BitBtn7->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("该用户已存在！"));
    QCOMPARE(scalar(book, QStringLiteral("select count(*) from userdb")).toInt(), 2);
    QCOMPARE(window->ListBox1->count(), 2);
    QCOMPARE(window->ListBox1->item(1)->text(), QStringLiteral("O'Neil")); // table order

    // Reset: nothing chosen, then the chosen user.
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("请选择用户名！"));
    {
        sql::ScopedConnection conn(book);
        sql::exec(conn.db(), QStringLiteral("update userdb set passwd=? where username=?"),
                  {passwords::hash(QStringLiteral("secret")), QStringLiteral("O'Neil")});
    }
    window->ListBox1->setCurrentRow(1);
    QTest::mouseClick(window->ListBox1->viewport(), Qt::LeftButton, {},
                      window->ListBox1->visualItemRect(window->ListBox1->item(1)).center());
    QCOMPARE(window->Edit5->text(), QStringLiteral("O'Neil"));
    QCOMPARE(window->Edit7->text(), QStringLiteral("O'Neil"));
    // The password was changed by another copy after the list showed the user: refused, the
    // list read again, then the operator resets anew.
    window->BitBtn5->click();
    QVERIFY(scripted().lastText().startsWith(
        QStringLiteral("用户“O'Neil”在用户列表显示之后已被其他用户修改")));
    QVERIFY(
        passwords::verify(passwordOf(book, QStringLiteral("O'Neil")), QStringLiteral("secret")));
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("已经成功将密码初始化为：574"));
    QVERIFY(passwords::verify(passwordOf(book, QStringLiteral("O'Neil")), QStringLiteral("574")));

    // Delete: the administrator is protected; No deletes nothing; Yes deletes.
    window->Edit7->setText(QStringLiteral("超级管理员"));
    window->BitBtn9->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("超级管理员不能删除！"));
    window->Edit7->clear();
    window->BitBtn9->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("请选择用户"));
    window->Edit7->setText(QStringLiteral("O'Neil"));
    scripted().answers = {false};
    window->BitBtn9->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("你真的要删除用户：O'Neil吗?"));
    QCOMPARE(scalar(book, QStringLiteral("select count(*) from userdb")).toInt(), 2);
    scripted().answers = {true};
    window->BitBtn9->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("成功删除！"));
    QCOMPARE(scalar(book, QStringLiteral("select count(*) from userdb")).toInt(), 1);
    QCOMPARE(window->Edit7->text(), QString());
    QCOMPARE(window->Edit5->text(), QString());
    QCOMPARE(window->ListBox1->count(), 1);
    // A name that is gone is reported, not reset.
    window->Edit5->setText(QStringLiteral("O'Neil"));
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("该用户不存在！"));
}

void UsersTest::passwordChangeChecksItsFields()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    addUser(book, QStringLiteral("Zhang"), QStringLiteral("abc123"));
    MainForm->N15Click();
    Tchangepassfm* window = MainForm->changepassfm;
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->ComboBox1->count(), 2);
    QCOMPARE(window->ComboBox1->currentIndex(), -1);
    QVERIFY(window->CheckBox1->isChecked());

    window->Edit1->setText(QStringLiteral("abc123"));
    window->Edit14->setText(QStringLiteral("new1"));
    window->Edit15->setText(QStringLiteral("new1"));
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("必须选择用户！"));

    window->ComboBox1->setCurrentIndex(window->ComboBox1->findText(QStringLiteral("Zhang")));
    window->Edit1->clear();
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("必须输入旧口令！"));
    window->Edit1->setText(QStringLiteral("abc123"));
    window->Edit14->clear();
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("新口令长度不能为空！"));
    window->Edit14->setText(QStringLiteral("new1"));
    window->Edit15->setText(QStringLiteral("NEW1"));
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("两次输入的密码不一致！请重新输入！"));
    QCOMPARE(window->Edit15->text(), QString());
    QCOMPARE(window->Edit14->text(), QStringLiteral("new1"));
    window->Edit15->setText(QStringLiteral("new1"));
    window->Edit1->setText(QStringLiteral("wrong"));
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("旧密码不正确！"));
    QVERIFY(passwords::verify(passwordOf(book, QStringLiteral("Zhang")), QStringLiteral("abc123")));

    // Kept open when asked to, with the fields emptied and the user kept.
    window->CheckBox1->setChecked(false);
    window->Edit1->setText(QStringLiteral("ABC123"));
    window->bitbtn4->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("你已经成功修改了密码！下次运行程序时生效！"));
    QVERIFY(passwords::verify(passwordOf(book, QStringLiteral("Zhang")), QStringLiteral("NEW1")));
    QVERIFY(window->isVisible());
    QCOMPARE(window->Edit1->text(), QString());
    QCOMPARE(window->ComboBox1->currentText(), QStringLiteral("Zhang"));
    // Ticked, a successful change closes the window.
    QPointer<Tchangepassfm> guard = window;
    window->CheckBox1->setChecked(true);
    window->Edit1->setText(QStringLiteral("new1"));
    window->Edit14->setText(QStringLiteral("x9"));
    window->Edit15->setText(QStringLiteral("x9"));
    window->bitbtn4->click();
    QTRY_VERIFY(guard.isNull());
}

QUENVALE_TEST_MAIN(UsersTest)
#include "tst_users.moc"
