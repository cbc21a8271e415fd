#include "cashbook/entrypanel.h"

#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/formats.h"
#include "data/mylib.h"
#include "data/sql.h"
#include "gui/commandguard.h"
#include "gui/datefield.h"
#include "gui/formfields.h"
#include "gui/keyfilter.h"
#include "gui/messages.h"

#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <cmath>

namespace {

const QString kIncome = QStringLiteral("收入");
const QString kExpense = QStringLiteral("支出");

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

struct EntryPanel::Values
{
    QString kind, summary, counterparty, day;
    double amounts[6] = {};
};

EntryPanel::EntryPanel(QWidget* parent) : QFrame(parent)
{
    setGeometry(272, 208, 401, 217);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    setFont(panelFont());
    setCursor(Qt::SizeAllCursor);

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

    auto run = [this](QObject* sender, auto signal, void (EntryPanel::*step)()) {
        connect(static_cast<typename QtPrivate::FunctionPointer<decltype(signal)>::Object*>(sender),
                signal, this, [this, step] { guarded(this, [this, step] { (this->*step)(); }); });
    };
    run(Button1, &QPushButton::clicked, &EntryPanel::Button1Click);
    run(Button3, &QPushButton::clicked, &EntryPanel::Button3Click);
    run(Button4, &QPushButton::clicked, &EntryPanel::computeStep);
    run(Button5, &QPushButton::clicked, &EntryPanel::kindStateStep);
    run(Button6, &QPushButton::clicked, &EntryPanel::kindStep);
    run(Button9, &QPushButton::clicked, &EntryPanel::clearStep);

    // Only the operator's own changes of the kind run the kind step.
    connect(ComboBox1, &QComboBox::textActivated, this,
            [this] { guarded(this, [this] { kindStep(); }); });
    connect(ComboBox1->lineEdit(), &QLineEdit::textEdited, this,
            [this] { guarded(this, [this] { kindStep(); }); });
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

void EntryPanel::bind(RecordGrid* grid, std::function<void()> allRecords, QWidget* deleteButton)
{
    m_grid = grid;
    m_allRecords = std::move(allRecords);
    m_deleteButton = deleteButton;
}

void EntryPanel::refillLists(Dataset* scratch)
{
    // Two full scans of a big book: skipped while nothing can have changed the names.
    const Dataset::ChangeStamp stamp = scratch->changeStamp();
    if (m_listsFilled && stamp.connection != 0 && stamp == m_listsStamp) {
        for (QComboBox* box : {ComboBox2, ComboBox3}) {
            box->setCurrentIndex(-1);
            box->setEditText(QString());
        }
        return;
    }
    m_listsFilled = false;
    FillComboFromColumn(scratch, QStringLiteral("c"), QStringLiteral("data"), ComboBox2);
    FillComboFromColumn(scratch, QStringLiteral("b"), QStringLiteral("data"), ComboBox3);
    scratch->close(); // the names now live in the lists: a big book's are not held twice
    m_listsStamp = stamp;
    m_listsFilled = true;
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

void EntryPanel::setAmountState(bool incomeWritable)
{
    auto state = [this](QLineEdit* field, bool writable) {
        field->setReadOnly(!writable);
        QPalette p = field->palette();
        p.setColor(QPalette::Base,
                   writable ? palette().color(QPalette::Base) : palette().color(QPalette::Button));
        field->setPalette(p);
    };
    state(Edit9, incomeWritable);
    state(Edit13, incomeWritable);
    state(Edit28, !incomeWritable);
    state(Edit1, !incomeWritable);
}

void EntryPanel::computeStep()
{
    if (Edit9->text().isEmpty() || Edit13->text().isEmpty() || Edit1->text().isEmpty() ||
        Edit28->text().isEmpty())
        return;
    const double income = formats::parseFloat(Edit9->text());
    const double received = formats::parseFloat(Edit13->text());
    const double paid = formats::parseFloat(Edit1->text());
    const double expense = formats::parseFloat(Edit28->text());
    Edit3->setText(formats::general(income - received));
    Edit4->setText(formats::general(expense - paid));
}

void EntryPanel::kindStep()
{
    const QString kind = ComboBox1->currentText();
    if (kind == kIncome) {
        setAmountState(true);
        Edit28->setText(QStringLiteral("0"));
        Edit1->setText(QStringLiteral("0"));
        Edit9->clear();
        Edit13->clear();
    } else if (kind == kExpense) {
        setAmountState(false);
        Edit9->setText(QStringLiteral("0"));
        Edit13->setText(QStringLiteral("0"));
        Edit28->clear();
        Edit1->clear();
    }
}

void EntryPanel::kindStateStep()
{
    setAmountState(ComboBox1->currentText() == kIncome);
}

void EntryPanel::clearStep()
{
    ComboBox1->setCurrentIndex(ComboBox1->findText(kIncome));
    ComboBox1->setEditText(kIncome);
    ComboBox3->setEditText(QString());
    Edit9->clear();
    Edit13->clear();
    Edit28->setText(QStringLiteral("0"));
    Edit1->setText(QStringLiteral("0"));
    ComboBox2->setEditText(QString());
    // The kind shows 收入, so the panel is fully in the income state.
    setAmountState(true);
}

bool EntryPanel::validate()
{
    return RequireComboText(ComboBox1, QStringLiteral("收支类别必须输入！")) &&
           RequireComboText(ComboBox3, QStringLiteral("项目摘要必须输入！")) &&
           RequireEditText(Edit9, QStringLiteral("收入合计必须输入！")) &&
           RequireEditText(Edit13, QStringLiteral("已收金额必须输入！")) &&
           RequireEditText(Edit28, QStringLiteral("支出合计必须输入！")) &&
           RequireEditText(Edit1, QStringLiteral("已付金额必须输入！")) && amountsWithinLimit();
}

bool EntryPanel::amountsWithinLimit()
{
    const QPair<QLineEdit*, QString> fields[] = {{Edit9, QStringLiteral("收入合计")},
                                                 {Edit13, QStringLiteral("已收金额")},
                                                 {Edit28, QStringLiteral("支出合计")},
                                                 {Edit1, QStringLiteral("已付金额")}};
    for (const auto& [field, name] : fields) {
        // Sums stay exact to the cent only for amounts a cash book can hold.
        if (std::fabs(formats::parseFloat(field->text())) < kAmountLimit)
            continue;
        messages().warning(window(), name + QStringLiteral("超出范围：金额的整数部分最多12位！"));
        field->setFocus();
        return false;
    }
    return true;
}

EntryPanel::Values EntryPanel::validatedValues()
{
    Values v;
    v.kind = ComboBox1->currentText().trimmed();
    v.summary = ComboBox3->currentText().trimmed();
    v.counterparty = ComboBox2->currentText().trimmed();
    QLineEdit* fields[6] = {Edit9, Edit13, Edit3, Edit28, Edit1, Edit4};
    for (int i = 0; i < 6; ++i)
        v.amounts[i] = formats::parseFloat(fields[i]->text());
    v.day = formats::dateText(formats::parseDate(DBDateTimeEditEh1->text()));
    return v;
}

void EntryPanel::writeValues(Dataset* target, const Values& v)
{
    static const QString names[6] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                                     QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")};
    try {
        target->setValue(QStringLiteral("a"), v.kind);
        target->setValue(QStringLiteral("b"), v.summary);
        target->setValue(QStringLiteral("c"), v.counterparty);
        for (int i = 0; i < 6; ++i)
            target->setValue(names[i], v.amounts[i]);
        target->setValue(QStringLiteral("day1"), v.day);
        target->setValue(QStringLiteral("o"), QStringLiteral("1"));
        target->post(); // one statement: the row is written whole or not at all
    } catch (...) {
        target->cancel();
        throw;
    }
}

void EntryPanel::writeByKey(qint64 key, const Values& v)
{
    QVariantList values = {v.kind, v.summary, v.counterparty};
    for (double amount : v.amounts)
        values << amount;
    values << v.day << QStringLiteral("1") << key;
    QSqlDatabase db = dmfm->connection();
    const QSqlQuery q = sql::exec(
        db,
        QStringLiteral("update data set a=?,b=?,c=?,\"1\"=?,\"2\"=?,\"3\"=?,\"4\"=?,\"5\"=?,"
                       "\"6\"=?,day1=?,o=? where id=?"),
        values);
    if (q.numRowsAffected() == 0)
        throw DatabaseError(QStringLiteral("要修改的记录已不在账本中（可能已被删除），未作修改。"));
}

void EntryPanel::Button1Click()
{
    computeStep();
    if (!validate())
        return;
    const Values values = validatedValues();
    Dataset* table = dmfm->ADOTable5;
    table->append();
    writeValues(table, values);
    messages().information(window(), QStringLiteral("增加数据成功！"));
    kindStep();
    if (m_allRecords)
        m_allRecords();
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
}

void EntryPanel::Button3Click()
{
    computeStep();
    if (!messages().question(window(), QStringLiteral("你确实要修改选中资料吗？")))
        return;
    if (!validate())
        return;
    const Values values = validatedValues();
    Dataset* listing = dmfm->ADOQuery15;
    // The record that was opened, whatever row is current or listed now.
    if (m_openedKey == 0)
        throw DatabaseError(QStringLiteral("没有打开要修改的记录，请双击表格中的记录后再修改。"));
    if (listing->isOpen() && listing->locateKey(m_openedKey)) {
        listing->edit();
        writeValues(listing, values);
    } else {
        // A search may have taken the record out of the listing; it is still in the book.
        writeByKey(m_openedKey, values);
    }
    if (m_allRecords)
        m_allRecords();
    hide();
    messages().information(window(), QStringLiteral("修改数据成功！"));
    kindStep();
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
    Button3->setEnabled(false);
    m_openedKey = 0;
}

void EntryPanel::openForModify()
{
    if (!m_grid || m_grid->firstFieldText().isEmpty())
        return;
    Dataset* listing = m_grid->listing();
    show();
    raise();
    Button1->hide();
    Button3->show();
    Button3->setEnabled(true);
    ComboBox1->setEditText(listing->text(QStringLiteral("a")));
    ComboBox3->setEditText(listing->text(QStringLiteral("b")));
    ComboBox2->setEditText(listing->text(QStringLiteral("c")));
    // Totals first: setting them copies into received and paid, which come next.
    Edit9->setText(listing->text(QStringLiteral("1")));
    Edit13->setText(listing->text(QStringLiteral("2")));
    Edit28->setText(listing->text(QStringLiteral("4")));
    Edit1->setText(listing->text(QStringLiteral("5")));
    const QString day = listing->text(QStringLiteral("day1"));
    const QDate date = QDate::fromString(day.left(10), QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        DBDateTimeEditEh1->setDate(date);
    kindStateStep();
    m_openedKey = listing->key();
}

void EntryPanel::deleteRecord()
{
    if (!messages().question(window(), QStringLiteral("你真的要删除选中资料吗？")))
        return;
    Dataset* listing = dmfm->ADOQuery15;
    if (!listing->isOpen())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const qint64 removed = listing->isEmpty() ? 0 : listing->key();
    listing->deleteCurrent();
    if (removed == m_openedKey)
        m_openedKey = 0;
    messages().information(window(), QStringLiteral("删除数据成功！"));
    if (m_deleteButton)
        m_deleteButton->setEnabled(false);
}

void EntryPanel::newRecord()
{
    show();
    raise();
    clearStep();
    Button3->hide();
    Button1->show();
    m_openedKey = 0;
}

void EntryPanel::closePanel()
{
    hide();
    clearStep();
    Button3->setEnabled(false);
    m_openedKey = 0;
}
