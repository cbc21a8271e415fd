#include "users/usergl.h"

#include "data/dm.h"
#include "data/errors.h"
#include "data/schema.h"
#include "gui/commandguard.h"
#include "gui/keyfilter.h"
#include "gui/messages.h"
#include "users/credentials.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

namespace {

const QString kAdministrator = QString::fromUtf16(schema::kAdministrator);

QFrame* greenPanel(QWidget* parent, const QRect& geometry)
{
    auto* panel = new QFrame(parent);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, QColor(192, 220, 192));
    panel->setPalette(p);
    return panel;
}

} // namespace

Tuserglfm::Tuserglfm(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("userglfm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("用户管理—(管理员专用)"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(393, 152);

    QFrame* left = greenPanel(this, QRect(0, 0, 96, 152));
    auto* caption = new QLabel(QStringLiteral("管理员密码："), left);
    caption->move(8, 10);
    LabeledEdit1 = new QLineEdit(left);
    LabeledEdit1->setObjectName(QStringLiteral("LabeledEdit1"));
    LabeledEdit1->setGeometry(6, 30, 84, 24);
    BitBtn3 = new QPushButton(QStringLiteral("登录"), left);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(6, 66, 84, 26);
    BitBtn2 = new QPushButton(QStringLiteral("退出"), left);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(6, 104, 84, 26);

    QFrame* middle = greenPanel(this, QRect(97, 0, 92, 152));
    auto* listCaption = new QLabel(QStringLiteral("用户列表"), middle);
    listCaption->move(8, 6);
    ListBox1 = new QListWidget(middle);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(4, 26, 84, 120);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(190, 2, 202, 148);
    QFont tabFont = PageControl1->font();
    tabFont.setPixelSize(11);
    PageControl1->tabBar()->setFont(tabFont);
    // Narrow padding: the three captions fit the window's width in every look.
    PageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 6px; }"));
    PageControl1->setUsesScrollButtons(false);
    auto page = [this](const QString& title) {
        auto* w = new QWidget(PageControl1);
        PageControl1->addTab(w, title);
        return w;
    };
    auto readOnlyName = [](QWidget* parent, const char* name) {
        auto* hint = new QLabel(QStringLiteral("请在左边列表中选择用户"), parent);
        hint->move(4, 4);
        auto* caption = new QLabel(QStringLiteral("你选择的用户名："), parent);
        caption->move(4, 26);
        auto* field = new QLineEdit(parent);
        field->setObjectName(QString::fromLatin1(name));
        field->setReadOnly(true);
        field->setGeometry(4, 46, 160, 24);
        return field;
    };
    QWidget* reset = page(QStringLiteral("初始化密码"));
    Edit5 = readOnlyName(reset, "Edit5");
    BitBtn5 = new QPushButton(QStringLiteral("初始化密码"), reset);
    BitBtn5->setObjectName(QStringLiteral("BitBtn5"));
    BitBtn5->setGeometry(4, 80, 90, 26);
    BitBtn4 = new QPushButton(QStringLiteral("提示"), reset);
    BitBtn4->setObjectName(QStringLiteral("BitBtn4"));
    BitBtn4->setGeometry(100, 80, 64, 26);
    QWidget* add = page(QStringLiteral("增加用户"));
    auto* addCaption = new QLabel(QStringLiteral("新增用户名："), add);
    addCaption->move(4, 10);
    Edit6 = new QLineEdit(add);
    Edit6->setObjectName(QStringLiteral("Edit6"));
    Edit6->setGeometry(4, 32, 160, 24);
    BitBtn7 = new QPushButton(QStringLiteral("增加用户"), add);
    BitBtn7->setObjectName(QStringLiteral("BitBtn7"));
    BitBtn7->setGeometry(4, 70, 90, 26);
    QWidget* remove = page(QStringLiteral("删除用户"));
    Edit7 = readOnlyName(remove, "Edit7");
    BitBtn9 = new QPushButton(QStringLiteral("删除用户"), remove);
    BitBtn9->setObjectName(QStringLiteral("BitBtn9"));
    BitBtn9->setGeometry(4, 80, 90, 26);

    // Locked until the administrator's password is given here.
    ListBox1->setEnabled(false);
    PageControl1->setEnabled(false);
    PageControl1->setCurrentIndex(0);

    LabeledEdit1->setEchoMode(QLineEdit::Password);
    LabeledEdit1->setMaxLength(10);
    new KeyFilter(LabeledEdit1, &KeyFilter::letterOrDigit, [this] { BitBtn3->setFocus(); });

    auto on = [this](QPushButton* b, void (Tuserglfm::*handler)()) {
        connectGuarded(b, &QPushButton::clicked, this, handler);
    };
    on(BitBtn3, &Tuserglfm::BitBtn3Click);
    on(BitBtn5, &Tuserglfm::BitBtn5Click);
    on(BitBtn4, &Tuserglfm::BitBtn4Click);
    on(BitBtn7, &Tuserglfm::BitBtn7Click);
    on(BitBtn9, &Tuserglfm::BitBtn9Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QWidget::close);
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    // The chosen name follows the highlighted user, whether the mouse or the keys moved it.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!ListBox1->selectedItems().isEmpty())
            ListBox1Click();
    });

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Tuserglfm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    guarded(this, [this] {
        FillUserList();
        LabeledEdit1->setFocus();
    });
}

void Tuserglfm::closeEvent(QCloseEvent* event)
{
    if (dmfm)
        dmfm->ADOQuery1->close();
    event->accept();
}

void Tuserglfm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool Tuserglfm::isUnlocked() const
{
    return PageControl1->isEnabled();
}

void Tuserglfm::FillUserList()
{
    ListBox1->clear();
    // Each user as shown: a reset or a delete is refused once another copy changed it.
    m_shown = users::accounts();
    for (const users::Account& account : std::as_const(m_shown))
        ListBox1->addItem(account.name);
}

void Tuserglfm::BitBtn3Click()
{
    const QString password = LabeledEdit1->text().trimmed();
    if (matchingUsers(kAdministrator, password) != 1) {
        messages().information(this, QStringLiteral("密码不对！"));
        return;
    }
    messages().information(this, QStringLiteral("超级管理员登录成功！"));
    ListBox1->setEnabled(true);
    PageControl1->setEnabled(true);
    LabeledEdit1->clear();
}

void Tuserglfm::ListBox1Click()
{
    QListWidgetItem* item = ListBox1->currentItem();
    if (!ListBox1->selectedItems().isEmpty())
        item = ListBox1->selectedItems().constFirst();
    if (item) {
        Edit5->setText(item->text());
        Edit7->setText(item->text());
    }
}

bool Tuserglfm::userExists(const QString& name)
{
    return users::exists(name);
}

std::optional<users::Account> Tuserglfm::shownAccount(const QString& name) const
{
    for (const users::Account& account : m_shown)
        if (account.name == name)
            return account;
    return std::nullopt;
}

bool Tuserglfm::refusedAfterChange(const std::function<void()>& write)
{
    try {
        write();
        return false;
    } catch (const ConflictError& e) {
        messages().information(this, e.message());
        FillUserList();
        return true;
    }
}

void Tuserglfm::BitBtn5Click()
{
    const QString name = Edit5->text().trimmed();
    if (name.isEmpty()) {
        messages().information(this, QStringLiteral("请选择用户名！"));
        return;
    }
    const std::optional<users::Account> shown = shownAccount(name);
    if (!shown) {
        messages().information(this, QStringLiteral("该用户不存在！"));
        return;
    }
    users::Account written;
    if (refusedAfterChange([&] {
            written = users::resetPassword(*shown, QString::fromUtf16(schema::kDefaultPassword));
        })) {
        if (!userExists(name))
            Edit5->clear();
        return;
    }
    // This copy's own reset is what the list shows from now on.
    for (users::Account& account : m_shown)
        if (account.name == written.name)
            account = written;
    messages().information(this, QStringLiteral("已经成功将密码初始化为：574"));
}

void Tuserglfm::BitBtn4Click()
{
    messages().information(
        this,
        QStringLiteral("初始化密码功能用于用户忘记密码的情况，它把用户的密码设为缺省密码：574"));
}

void Tuserglfm::BitBtn7Click()
{
    const QString name = Edit6->text().trimmed();
    if (name == kAdministrator) {
        messages().information(this, QStringLiteral("超级管理员只能有一个，不能增加"));
        return;
    }
    if (name.isEmpty()) {
        messages().information(this, QStringLiteral("请选择用户名！"));
    } else if (userExists(name)) {
        // Names are unique whatever their letter case.
        messages().information(this, QStringLiteral("该用户已存在！"));
    } else {
        users::add(name, QString::fromUtf16(schema::kDefaultPassword));
        messages().information(
            this,
            QStringLiteral("成功添加新用户！缺省口令是：574,请此用户下次登录时及时修改口令！"));
    }
    FillUserList();
}

void Tuserglfm::BitBtn9Click()
{
    const QString name = Edit7->text().trimmed();
    if (name == kAdministrator) {
        messages().information(this, QStringLiteral("超级管理员不能删除！"));
        return;
    }
    if (name.isEmpty()) {
        messages().information(this, QStringLiteral("请选择用户"));
        return;
    }
    if (messages().yesNo(this, applicationTitle(),
                         QStringLiteral("你真的要删除用户：%1吗?").arg(name), true)) {
        const std::optional<users::Account> shown = shownAccount(name);
        if (!shown) {
            messages().information(this, QStringLiteral("该用户不存在！"));
        } else if (refusedAfterChange([&] { users::remove(*shown); })) {
            if (userExists(name))
                return; // still there, changed: the operator decides anew
        } else {
            messages().information(this, QStringLiteral("成功删除！"));
        }
        Edit7->clear();
        // The reset tab no longer offers a name that is gone.
        if (Edit5->text().trimmed().compare(name, Qt::CaseInsensitive) == 0)
            Edit5->clear();
    }
    FillUserList();
}
