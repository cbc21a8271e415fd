#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

// User management, for the administrator only: unlocked by his password in the window itself.
class Tuserglfm : public QWidget
{
    Q_OBJECT

public:
    explicit Tuserglfm(QWidget* owner = nullptr);

    void FillUserList();
    void BitBtn3Click(); // 登录
    void BitBtn5Click(); // 初始化密码
    void BitBtn4Click(); // 提示
    void BitBtn7Click(); // 增加用户
    void BitBtn9Click(); // 删除用户
    void ListBox1Click();

    bool isUnlocked() const;

    QLineEdit* LabeledEdit1 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* BitBtn9 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool userExists(const QString& name);
};
