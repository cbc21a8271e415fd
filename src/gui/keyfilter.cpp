#include "gui/keyfilter.h"

#include "gui/commandguard.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

// Pasted or dropped text obeys the same rule as typed text.
class CharValidator final : public QValidator
{
public:
    CharValidator(KeyFilter::CharTest allowed, QObject* parent)
        : QValidator(parent), m_allowed(std::move(allowed))
    {
    }
    State validate(QString& input, int&) const override
    {
        for (QChar ch : std::as_const(input))
            if (!m_allowed(ch))
                return Invalid;
        return Acceptable;
    }

private:
    KeyFilter::CharTest m_allowed;
};

// Tab, Backspace, Escape and the like type nothing into the field: they are never filtered.
bool insertsText(const QString& text)
{
    for (QChar ch : text)
        if (ch.isPrint())
            return true;
    return false;
}

} // namespace

KeyFilter::KeyFilter(QWidget* field, CharTest allowed, std::function<void()> onEnter)
    : QObject(field), m_allowed(std::move(allowed)), m_onEnter(std::move(onEnter))
{
    field->installEventFilter(this);
    if (auto* edit = qobject_cast<QLineEdit*>(field); edit && m_allowed && !edit->validator())
        edit->setValidator(new CharValidator(m_allowed, edit));
}

bool KeyFilter::letterOrDigit(QChar ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z');
}

bool KeyFilter::amountCharacter(QChar ch)
{
    return (ch >= u'0' && ch <= u'9') || ch == u'.';
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (m_onEnter) {
                QWidget* parent = qobject_cast<QWidget*>(watched);
                guarded(parent ? parent->window() : nullptr, m_onEnter);
            }
            return true;
        }
        if (key->key() == Qt::Key_Backspace || !m_allowed)
            return false;
        const QString text = key->text();
        if (!insertsText(text) || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        for (QChar ch : text)
            if (!m_allowed(ch))
                return true;
        return false;
    }
    if (event->type() == QEvent::InputMethod && m_allowed) {
        auto* im = static_cast<QInputMethodEvent*>(event);
        for (QChar ch : im->commitString())
            if (!m_allowed(ch))
                return true;
    }
    return false;
}

void makePasswordField(QLineEdit* field, std::function<void()> onEnter)
{
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(10);
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    // Pasted text obeys the same rule as typed text.
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Za-z]*")), field));
    new KeyFilter(field, &KeyFilter::letterOrDigit, std::move(onEnter));
}
