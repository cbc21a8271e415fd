#include "users/changepass.h"

#include "data/dm.h"
#include "data/mylib.h"
#include "gui/commandguard.h"
#include "gui/formfields.h"
#include "gui/keyfilter.h"
#include "gui/messages.h"
#include "users/credentials.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

Tchangepassfm::Tchangepassfm(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("changepassfm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("更改密码"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(296, 160);

    auto row = [this](const QString& caption, int y) {
        auto* label = new QLabel(caption, this);
        label->move(14, y + 4);
    };
    row(QStringLiteral("选择操作员"), 8);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(100, 8, 110, 24);
    auto field = [this](const char* name, int y) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(100, y, 110, 24);
        return e;
    };
    row(QStringLiteral("输入旧密码"), 36);
    Edit1 = field("Edit1", 36);
    row(QStringLiteral("输入新密码"), 64);
    Edit14 = field("Edit14", 64);
    row(QStringLiteral("新密码重复"), 92);
    Edit15 = field("Edit15", 92);
    bitbtn4 = new QPushButton(QStringLiteral("更改密码"), this);
    bitbtn4->setObjectName(QStringLiteral("bitbtn4"));
    bitbtn4->setGeometry(218, 8, 72, 26);
    BitBtn1 = new QPushButton(QStringLiteral("退出"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(218, 40, 72, 26);
    CheckBox1 = new QCheckBox(QStringLiteral("更改完毕退出"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(100, 118, 120, 20);
    CheckBox1->setChecked(true);
    Label28 = new QLabel(QStringLiteral("提示：密码只能输入字母和数字，最长10个字符！"), this);
    Label28->setObjectName(QStringLiteral("Label28"));
    Label28->setGeometry(8, 138, 284, 20);

    makePasswordField(Edit1, [this] { Edit14->setFocus(); });
    makePasswordField(Edit14, [this] { Edit15->setFocus(); });
    makePasswordField(Edit15, [this] { bitbtn4->setFocus(); });

    setTabOrder(Edit14, Edit15);
    setTabOrder(Edit15, bitbtn4);
    setTabOrder(bitbtn4, BitBtn1);
    setTabOrder(BitBtn1, Edit1);
    setTabOrder(Edit1, ComboBox1);
    setTabOrder(ComboBox1, CheckBox1);

    connect(ComboBox1, &QComboBox::activated, this, [this] { Edit1->setFocus(); });
    connectGuarded(bitbtn4, &QPushButton::clicked, this, &Tchangepassfm::bitbtn4Click);
    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Tchangepassfm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    guarded(this, [this] {
        FillComboFromColumn(dmfm->ADOQuery1, QStringLiteral("username"), QStringLiteral("userdb"),
                            ComboBox1);
        ComboBox1->setCurrentIndex(-1);
        ComboBox1->setFocus();
    });
}

void Tchangepassfm::closeEvent(QCloseEvent* event)
{
    if (dmfm)
        dmfm->ADOQuery1->close();
    event->accept();
}

void Tchangepassfm::bitbtn4Click()
{
    const QString user = ComboBox1->currentIndex() < 0 ? QString() : ComboBox1->currentText();
    const QString oldPassword = Edit1->text().trimmed();
    const QString newPassword = Edit14->text().trimmed();
    const QString repeated = Edit15->text().trimmed();
    // Without a chosen user nothing would change, yet success would be reported.
    if (user.isEmpty()) {
        messages().warning(this, QStringLiteral("必须选择用户！"));
        ComboBox1->setFocus();
        return;
    }
    if (!RequireEditText(Edit1, QStringLiteral("必须输入旧口令！")))
        return;
    if (!RequireEditText(Edit14, QStringLiteral("新口令长度不能为空！")))
        return;
    if (newPassword != repeated) {
        messages().information(this, QStringLiteral("两次输入的密码不一致！请重新输入！"));
        Edit15->clear();
        Edit15->setFocus();
        return;
    }
    if (matchingUsers(user, oldPassword) == 0) {
        messages().warning(this, QStringLiteral("旧密码不正确！"));
        Edit1->setFocus();
        return;
    }
    users::setPassword(user, newPassword);
    messages().information(this, QStringLiteral("你已经成功修改了密码！下次运行程序时生效！"));
    if (CheckBox1->isChecked()) {
        close();
    } else {
        Edit1->clear();
        Edit14->clear();
        Edit15->clear();
    }
}
