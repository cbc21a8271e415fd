#pragma once

#include "users/logingate.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login window: nobody works without logging in, and each login is logged.
class Tloginfm : public QDialog, public LoginGate
{
    Q_OBJECT

public:
    explicit Tloginfm(QWidget* parent = nullptr);

    // LoginGate
    void showLogin() override;
    void logout() override;

    void FormShow();
    void bitbtn4Click(); // 确定
    void BitBtn1Click(); // 退出
    void Button1Click(); // desktop shortcut

    bool LoggedIn = false;

    QComboBox* ComboBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* bitbtn4 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label3 = nullptr;
    QPushButton* Button1 = nullptr;

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

extern Tloginfm* loginfm;
