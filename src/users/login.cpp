#include "users/login.h"

#include "data/dm.h"
#include "data/loginlog.h"
#include "data/mylib.h"
#include "data/passwords.h"
#include "gui/commandguard.h"
#include "gui/formfields.h"
#include "gui/keyfilter.h"
#include "gui/messages.h"
#include "settings/settings.h"
#include "shortcut/shortcut.h"
#include "users/credentials.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>

Tloginfm* loginfm = nullptr;

namespace {

QLabel* label(const QString& text, QWidget* parent, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->setAttribute(Qt::WA_TranslucentBackground);
    return l;
}

} // namespace

Tloginfm::Tloginfm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("loginfm"));
    setWindowTitle(QStringLiteral("用户登录"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(371, 160);
    setModal(true);
    // The face is painted sky blue (paintEvent); the palette says so, for the texts on it.
    QPalette sky = palette();
    sky.setColor(QPalette::Window, QColor(140, 192, 243));
    setPalette(sky);

    label(QStringLiteral("用户名称："), this, 70, 30);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(140, 26, 160, 24);
    label(QStringLiteral("输入密码："), this, 70, 64);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(140, 60, 160, 24);
    Label3 = label(QStringLiteral("用户初始登陆密码：574"), this, 70, 94);
    Label3->setObjectName(QStringLiteral("Label3"));
    QPalette red = Label3->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label3->setPalette(red);
    bitbtn4 = new QPushButton(QStringLiteral("确定"), this);
    bitbtn4->setObjectName(QStringLiteral("bitbtn4"));
    bitbtn4->setGeometry(110, 122, 75, 26);
    bitbtn4->setAutoDefault(false);
    BitBtn1 = new QPushButton(QStringLiteral("退出"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(200, 122, 75, 26);
    BitBtn1->setAutoDefault(false);
    Button1 = new QPushButton(QStringLiteral("桌面快捷"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->hide();

    setTabOrder(bitbtn4, BitBtn1);
    setTabOrder(BitBtn1, Edit1);
    setTabOrder(Edit1, ComboBox1);

    makePasswordField(Edit1, [this] { bitbtn4Click(); });
    // Enter in the name box goes on to the password.
    ComboBox1->installEventFilter(this);
    connect(ComboBox1, &QComboBox::activated, this, [this] { Edit1->setFocus(); });
    connectGuarded(bitbtn4, &QPushButton::clicked, this, &Tloginfm::bitbtn4Click);
    connectGuarded(BitBtn1, &QPushButton::clicked, this, &Tloginfm::BitBtn1Click);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void Tloginfm::paintEvent(QPaintEvent*)
{
    // A sky-blue face with a globe and light trails.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(120, 180, 240));
    sky.setColorAt(1, QColor(200, 230, 255));
    p.fillRect(rect(), sky);
    QRadialGradient globe(QPointF(38, 110), 70, QPointF(20, 90));
    globe.setColorAt(0, QColor(220, 240, 255));
    globe.setColorAt(1, QColor(40, 110, 200));
    p.setBrush(globe);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(38, 118), 58, 58);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.5));
    for (int i = 0; i < 4; ++i)
        p.drawArc(QRectF(-60 + i * 12, 40 + i * 6, 430, 160), 30 * 16, 40 * 16);
}

bool Tloginfm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ComboBox1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Edit1->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tloginfm::showLogin()
{
    if (isVisible())
        return;
    exec();
}

void Tloginfm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    guarded(this, [this] { FormShow(); });
}

void Tloginfm::FormShow()
{
    Button1Click();
    FillComboFromColumn(dmfm->ADOQuery1, QStringLiteral("username"), QStringLiteral("userdb"),
                        ComboBox1);
    ComboBox1->setFocus();
    if (ComboBox1->count() > 0) {
        ComboBox1->setCurrentIndex(0);
        ComboBox1->lineEdit()->selectAll();
    }
}

void Tloginfm::Button1Click()
{
    shortcut::place();
}

void Tloginfm::bitbtn4Click()
{
    const QString user = ComboBox1->currentText();
    const QString password = Edit1->text().trimmed();
    if (!RequireComboText(ComboBox1, QStringLiteral("必须选择用户！")))
        return;
    if (!RequireEditText(Edit1, QStringLiteral("必须输入密码！")))
        return;
    if (matchingUsers(user, password) != 1) {
        messages().information(this, QStringLiteral("密码不正确！请重新输入！"));
        Edit1->clear();
        Edit1->setFocus();
        return;
    }
    LoggedIn = true;
    setUpFirstView();
    close();
}

// The login window is always made as a child of the main window.
LoginHost* Tloginfm::host() const
{
    return dynamic_cast<LoginHost*>(parentWidget());
}

void Tloginfm::setUpFirstView()
{
    std::optional<QString> monthOnly;
    try {
        monthOnly = settings::read(settings::kMonthOnly);
    } catch (const SettingsError& e) {
        // A value of another type must not keep anybody out: say so once, show all records,
        // and leave the file alone until the month choice is changed.
        messages().critical(this, e.message());
        return;
    }
    if (!monthOnly)
        return;
    // "no" is what the program has always stored for "this month only".
    if (*monthOnly == u"no")
        host()->showFirstView(true);
    else if (*monthOnly == u"yes")
        host()->showFirstView(false);
}

void Tloginfm::BitBtn1Click()
{
    LoggedIn = false;
    close();
}

void Tloginfm::done(int result)
{
    if (!guarded(this, [this] { FormClose(); }) && LoggedIn)
        return; // stays open; the next closing runs the steps again
    // Leaving without a login always ends the program, even when the grid could not load.
    QDialog::done(result);
    if (!LoggedIn && host())
        host()->closeWindow();
}

void Tloginfm::keyPressEvent(QKeyEvent* event)
{
    // The window has no cancel button: Esc does nothing.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

bool Tloginfm::FormClose()
{
    host()->listRecords();
    dmfm->ADOQuery1->close();
    if (!LoggedIn)
        return true;
    const QString user = ComboBox1->currentText();
    host()->loggedIn(user, static_cast<int>(loginlog::open(dmfm->ADOQuery1, user,
                                                           QDateTime::currentDateTime())));
    return true;
}

void Tloginfm::logout()
{
    loginlog::close(dmfm->ADOQuery1, host()->loginLogId(), QDateTime::currentDateTime());
}
