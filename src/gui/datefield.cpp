#include "gui/datefield.h"

#include "data/formats.h"
#include "gui/messages.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

DateField::DateField(QWidget* parent) : QDateEdit(parent), m_typing(new QLineEdit(this))
{
    m_typing->setObjectName(QStringLiteral("typedDate"));
    m_typing->setFrame(false);
    m_typing->setMaxLength(10);
    m_typing->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_typing->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9./-]*")), m_typing));
    m_typing->setFocusPolicy(Qt::ClickFocus);
    m_typing->hide();
    m_typing->installEventFilter(this);
    // A date chosen in the calendar, or set by the program, replaces a text left standing.
    connect(this, &QDateEdit::dateChanged, this, [this] {
        if (!m_typing->hasFocus())
            m_typing->hide();
    });
}

QDate DateField::parseTyped(const QString& text, const QDate& shown)
{
    static const QRegularExpression separated(
        QStringLiteral("^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})\\s*$"));
    static const QRegularExpression compact(QStringLiteral("^\\s*(\\d{4})(\\d{2})(\\d{2})\\s*$"));
    static const QRegularExpression monthDay(QStringLiteral("^\\s*(\\d{1,2})[-/.](\\d{1,2})\\s*$"));
    static const QRegularExpression year(QStringLiteral("^\\s*(\\d{4})\\s*$"));
    QRegularExpressionMatch m = separated.match(text);
    if (!m.hasMatch())
        m = compact.match(text);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!shown.isValid())
        return {};
    // The short forms keep the rest of the shown date: "3-9" in its year, "2024" its day.
    m = monthDay.match(text);
    if (m.hasMatch())
        return QDate(shown.year(), m.captured(1).toInt(), m.captured(2).toInt());
    m = year.match(text);
    if (m.hasMatch()) {
        const int y = m.captured(1).toInt();
        return QDate(y, shown.month(),
                     std::min(shown.day(), QDate(y, shown.month(), 1).daysInMonth()));
    }
    return {};
}

bool DateField::isTyping() const
{
    return !m_typing->isHidden();
}

QString DateField::enteredText() const
{
    if (!isTyping())
        return text();
    const QDate date = parseTyped(m_typing->text(), this->date());
    return date.isValid() ? formats::dateText(date) : m_typing->text();
}

void DateField::setEnteredText(const QString& text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    m_typing->hide();
    if (date.isValid()) {
        setDate(date);
        return;
    }
    showTyped(text);
}

void DateField::showTyped(const QString& text)
{
    const QLineEdit* shown = lineEdit();
    m_typing->setFont(shown->font());
    m_typing->setPalette(shown->palette());
    m_typing->setAlignment(shown->alignment());
    m_typing->setGeometry(shown->geometry());
    m_typing->setText(text);
    m_typing->show();
    m_typing->raise();
}

void DateField::resizeEvent(QResizeEvent* event)
{
    QDateEdit::resizeEvent(event);
    m_typing->setGeometry(lineEdit()->geometry());
}

bool DateField::focusNextPrevChild(bool next)
{
    // Tab leaves the field, as everywhere else; it does not walk the date's parts.
    return QWidget::focusNextPrevChild(next);
}

void DateField::keyPressEvent(QKeyEvent* event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (isTyping()) {
        m_typing->setFocus(Qt::OtherFocusReason); // a text left standing is typed on
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QCoreApplication::sendEvent(m_typing, &copy);
        return;
    }
    const QString text = event->text();
    const bool typesDate = !text.isEmpty() && (text.at(0).isDigit() || text.at(0) == u'-' ||
                                               text.at(0) == u'/' || text.at(0) == u'.');
    if (plain && !isReadOnly() &&
        (typesDate || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)) {
        startTyping(event);
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void DateField::startTyping(QKeyEvent* event)
{
    const QLineEdit* shown = lineEdit();
    showTyped(shown->text());
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        // Mending the shown date in place.
        if (shown->hasSelectedText())
            m_typing->setSelection(shown->selectionStart(), shown->selectionLength());
        else
            m_typing->setCursorPosition(shown->cursorPosition());
    } else {
        m_typing->clear(); // a new date, as typing into a cell replaces it
    }
    m_typing->setFocus(Qt::OtherFocusReason);
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
    QCoreApplication::sendEvent(m_typing, &copy);
}

bool DateField::finishTyping(bool warn)
{
    if (!isTyping())
        return true;
    const QDate date = parseTyped(m_typing->text(), this->date());
    if (!date.isValid()) {
        if (warn) {
            messages().warning(
                window(), QStringLiteral("日期输入有误，请按“年-月-日”输入，例如 2024-04-15。"));
            m_typing->setFocus(Qt::OtherFocusReason);
            return false;
        }
        return false; // left standing: it is what the field holds until it is mended
    }
    m_typing->hide();
    setDate(date);
    return true;
}

void DateField::leave(bool forward)
{
    setFocus(Qt::OtherFocusReason);
    focusNextPrevChild(forward);
}

bool DateField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_typing)
        return QDateEdit::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Escape:
            m_typing->hide();
            setFocus(Qt::OtherFocusReason);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (finishTyping(true)) {
                setFocus(Qt::OtherFocusReason);
                // Enter then does what it does in the field (the entry panel moves on).
                QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
                QCoreApplication::sendEvent(this, &copy);
            }
            return true;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (finishTyping(true))
                leave(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::FocusOut && isTyping()) {
        // A click elsewhere ends the typing; a text that is no date stays as typed.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            finishTyping(false);
    }
    return QDateEdit::eventFilter(watched, event);
}
