#include "cashbook/entrypanel.h"

#include "data/mylib.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "gui/keyfilter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {

QFont panelFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    return font;
}

QPixmap redCross()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(210, 40, 40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
    return pixmap;
}

bool isEnter(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

EntryPanel::EntryPanel(QWidget* parent) : QFrame(parent)
{
    setGeometry(272, 208, 401, 217);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    setFont(panelFont());
    setCursor(Qt::SizeAllCursor);
    buildFields();
    buildButtons();
    connectSteps();
}

void EntryPanel::buildFields()
{
    auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->move(x, y);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Qt::black);
        l->setPalette(p);
        l->setCursor(Qt::ArrowCursor);
        return l;
    };
    auto combo = [this](const char* name, int x, int y, int w) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setGeometry(x, y, w, 22);
        c->setCursor(Qt::ArrowCursor);
        return c;
    };
    auto amount = [this](const char* name, int x, int y, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(x, y, 78, 22);
        e->setCursor(Qt::IBeamCursor);
        e->setAttribute(Qt::WA_InputMethodEnabled, false);
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), e));
        return e;
    };
    label(QStringLiteral("收支类别："), 26, 22);
    ComboBox1 = combo("ComboBox1", 90, 18, 81);
    ComboBox1->addItems({kIncome, kExpense});
    label(QStringLiteral("日  期："), 210, 22);
    DBDateTimeEditEh1 = new DateField(this);
    DBDateTimeEditEh1->setObjectName(QStringLiteral("DBDateTimeEditEh1"));
    DBDateTimeEditEh1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DBDateTimeEditEh1->setCalendarPopup(true);
    DBDateTimeEditEh1->setGeometry(263, 19, 97, 22);
    DBDateTimeEditEh1->setCursor(Qt::ArrowCursor);
    QFont dateFont = panelFont();
    dateFont.setPixelSize(12);
    DBDateTimeEditEh1->setFont(dateFont);
    label(QStringLiteral("项目摘要："), 26, 52);
    ComboBox3 = combo("ComboBox3", 90, 47, 193);
    label(QStringLiteral("单位名称："), 26, 83);
    ComboBox2 = combo("ComboBox2", 90, 79, 193);
    label(QStringLiteral("收入合计："), 26, 114);
    Edit9 = amount("Edit9", 91, 111, QString());
    label(QStringLiteral("已收金额："), 196, 114);
    Edit13 = amount("Edit13", 263, 111, QString());
    label(QStringLiteral("支出合计："), 26, 145);
    Edit28 = amount("Edit28", 91, 142, QStringLiteral("0"));
    label(QStringLiteral("已付金额："), 196, 145);
    Edit1 = amount("Edit1", 263, 142, QStringLiteral("0"));
    Edit3 = amount("Edit3", 0, 0, QString());
    Edit3->hide();
    Edit4 = amount("Edit4", 0, 0, QString());
    Edit4->hide();
}

void EntryPanel::buildButtons()
{
    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setCursor(Qt::ArrowCursor);
        QPalette p = b->palette();
        p.setColor(QPalette::ButtonText, QColor(0, 128, 128));
        b->setPalette(p);
        return b;
    };
    Button1 = button("Button1", QStringLiteral("新 增"));
    Button1->setGeometry(120, 176, 75, 25);
    Button3 = button("Button3", QStringLiteral("修 改"));
    Button3->setGeometry(208, 176, 75, 25);
    // The steps sit behind hidden buttons, as the other windows invoke them.
    Button4 = button("Button4", QStringLiteral("计算"));
    Button5 = button("Button5", QString());
    Button6 = button("Button6", QStringLiteral("类别选择"));
    Button9 = button("Button9", QStringLiteral("清空"));
    for (QPushButton* hidden : {Button4, Button5, Button6, Button9})
        hidden->hide();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(376, 8, 17, 17);
    Image1->setPixmap(redCross());
    Image1->setScaledContents(true);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);
}

void EntryPanel::connectSteps()
{
    connectGuarded(Button1, &QPushButton::clicked, this, &EntryPanel::Button1Click);
    connectGuarded(Button3, &QPushButton::clicked, this, &EntryPanel::Button3Click);
    connectGuarded(Button4, &QPushButton::clicked, this, &EntryPanel::computeStep);
    connectGuarded(Button5, &QPushButton::clicked, this, &EntryPanel::kindStateStep);
    connectGuarded(Button6, &QPushButton::clicked, this, &EntryPanel::kindStep);
    connectGuarded(Button9, &QPushButton::clicked, this, &EntryPanel::clearStep);

    // Only the operator's own changes of the kind run the kind step.
    connectGuarded(ComboBox1, &QComboBox::textActivated, this, &EntryPanel::kindStep);
    connectGuarded(ComboBox1->lineEdit(), &QLineEdit::textEdited, this, &EntryPanel::kindStep);
    // The received and paid amounts follow their totals.
    connect(Edit9, &QLineEdit::textChanged, this,
            [this](const QString& text) { Edit13->setText(text); });
    connect(Edit28, &QLineEdit::textChanged, this,
            [this](const QString& text) { Edit1->setText(text); });

    for (QLineEdit* field : {Edit9, Edit13, Edit28, Edit1})
        new KeyFilter(field, &KeyFilter::amountCharacter, nullptr);
    for (QWidget* w : std::initializer_list<QWidget*>{ComboBox1, DBDateTimeEditEh1, ComboBox3,
                                                      ComboBox2, Edit9, Edit13, Edit28, Edit1})
        w->installEventFilter(this);
    for (QComboBox* c : {ComboBox1, ComboBox3, ComboBox2})
        c->lineEdit()->installEventFilter(this);
}

void EntryPanel::bindWindow(RecordGrid* grid, std::function<void()> allRecords,
                            QWidget* deleteButton)
{
    m_grid = grid;
    m_allRecords = std::move(allRecords);
    m_deleteButton = deleteButton;
}

void EntryPanel::setDate(const QDate& date)
{
    DBDateTimeEditEh1->setDate(date);
}

bool EntryPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            guarded(this, [this] { closePanel(); });
            return true;
        }
        return false;
    }
    if (isEnter(event)) {
        // Enter moves along the panel and never presses a button.
        QWidget* next = nullptr;
        auto is = [watched](QComboBox* c) { return watched == c || watched == c->lineEdit(); };
        if (is(ComboBox1))
            next = DBDateTimeEditEh1;
        else if (watched == DBDateTimeEditEh1)
            next = ComboBox3;
        else if (is(ComboBox3))
            next = ComboBox2;
        else if (is(ComboBox2))
            next = Edit9;
        else if (watched == Edit9)
            next = Edit13;
        else if (watched == Edit13)
            next = Edit28;
        else if (watched == Edit28)
            next = Edit1;
        else if (watched == Edit1)
            return true;
        if (next) {
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void EntryPanel::mousePressEvent(QMouseEvent* event)
{
    // Only the panel's free surface moves it, not a press that a label passed on.
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint())) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - pos();
        return;
    }
    QFrame::mousePressEvent(event);
}

void EntryPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    QPoint target = event->globalPosition().toPoint() - m_dragOffset;
    if (QWidget* area = parentWidget()) {
        // Stays within the main window.
        target.setX(std::clamp(target.x(), 0, std::max(0, area->width() - width())));
        target.setY(std::clamp(target.y(), 0, std::max(0, area->height() - height())));
    }
    move(target);
}

void EntryPanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QFrame::mouseReleaseEvent(event);
}
