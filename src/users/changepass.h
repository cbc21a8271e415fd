#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Gives a chosen user a new password.
// Tchangepassfm (name from the Windows program): the window 更改密码.
class Tchangepassfm : public QWidget
{
    Q_OBJECT

public:
    explicit Tchangepassfm(QWidget* owner = nullptr);

    void bitbtn4Click(); // 更改密码

    QComboBox* ComboBox1 = nullptr; // 选择操作员: whose password
    QLineEdit* Edit1 = nullptr;     // 输入旧密码
    QLineEdit* Edit14 = nullptr;    // 输入新密码
    QLineEdit* Edit15 = nullptr;    // 新密码重复
    QPushButton* bitbtn4 = nullptr; // 更改密码: carries out the change
    QPushButton* BitBtn1 = nullptr; // 退出: closes the window
    QCheckBox* CheckBox1 = nullptr; // 更改完毕退出: close after a change
    QLabel* Label28 = nullptr;      // hint: letters and digits, 10 at most

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
