#pragma once

#include "users/credentials.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

// User management, for the administrator only: unlocked by his password in the window itself.
// Tuserglfm (name from the Windows program): the window 用户管理—(管理员专用).
class Tuserglfm : public QWidget
{
    Q_OBJECT

public:
    explicit Tuserglfm(QWidget* owner = nullptr);

    void FillUserList();  // refills ListBox1 from table userdb
    void BitBtn3Click();  // 登录
    void BitBtn5Click();  // 初始化密码
    void BitBtn4Click();  // 提示
    void BitBtn7Click();  // 增加用户
    void BitBtn9Click();  // 删除用户
    void ListBox1Click(); // a user chosen in the list fills Edit5 and Edit7

    bool isUnlocked() const;

    QLineEdit* LabeledEdit1 = nullptr;  // 管理员密码: unlocks the window
    QPushButton* BitBtn3 = nullptr;     // 登录: checks LabeledEdit1
    QPushButton* BitBtn2 = nullptr;     // 退出: closes the window
    QListWidget* ListBox1 = nullptr;    // 用户列表: every user
    QTabWidget* PageControl1 = nullptr; // tabs 初始化密码 / 增加用户 / 删除用户
    QLineEdit* Edit5 = nullptr;         // 初始化密码 tab: the chosen user (read only)
    QPushButton* BitBtn5 = nullptr;     // 初始化密码: resets it to 574
    QPushButton* BitBtn4 = nullptr;     // 提示: explains the reset
    QLineEdit* Edit6 = nullptr;         // 新增用户名: the name to add
    QPushButton* BitBtn7 = nullptr;     // 增加用户
    QLineEdit* Edit7 = nullptr;         // 删除用户 tab: the chosen user (read only)
    QPushButton* BitBtn9 = nullptr;     // 删除用户

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool userExists(const QString& name);
    // The user of that name as the list showed it.
    std::optional<users::Account> shownAccount(const QString& name) const;
    // Runs a write of a user as shown; when another copy changed the user meanwhile, says so,
    // reads the list again and gives true.
    bool refusedAfterChange(const std::function<void()>& write);

    QList<users::Account> m_shown;
};
