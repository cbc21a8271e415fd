#pragma once

#include "users/logingate.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window: nobody works without logging in, and each login is logged.
// Tloginfm (form name kept from the Windows program): the login window 用户登录.
class Tloginfm : public QDialog, public LoginGate
{
    Q_OBJECT

public:
    explicit Tloginfm(QWidget* parent = nullptr);

    // LoginGate
    void showLogin() override;
    void logout() override;

    void FormShow();     // showing: places the launchers, fills the user list
    void bitbtn4Click(); // 确定
    void BitBtn1Click(); // 退出
    void Button1Click(); // desktop shortcut

    bool LoggedIn = false; // someone has logged in during this run

    QComboBox* ComboBox1 = nullptr; // 用户名称: the user list
    QLineEdit* Edit1 = nullptr;     // 输入密码: the password
    QPushButton* bitbtn4 = nullptr; // 确定: log in
    QPushButton* BitBtn1 = nullptr; // 退出: leave the program
    QLabel* Label3 = nullptr;       // red hint 用户初始登陆密码：574
    QPushButton* Button1 = nullptr; // 桌面快捷: place the launchers

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    LoginHost* host() const;
    bool FormClose(); // false keeps the window open
    void setUpFirstView();
};

extern Tloginfm* loginfm; // the one login window, made at start-up
