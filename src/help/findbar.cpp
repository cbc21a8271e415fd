#include "help/findbar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>

FindBar::FindBar(QTextEdit* text, QWidget* parent) : QFrame(parent), m_text(text)
{
    setObjectName(QStringLiteral("findBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    auto* caption = new QLabel(QStringLiteral("查找："), this);
    findEdit = new QLineEdit(this);
    findEdit->setObjectName(QStringLiteral("findEdit"));
    findEdit->setClearButtonEnabled(true);
    findEdit->setPlaceholderText(QStringLiteral("要查找的文字"));
    findEdit->installEventFilter(this);
    caption->setBuddy(findEdit);
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        return b;
    };
    previousButton = button("previousButton", QStringLiteral("上一处"), QStringLiteral("Shift+F3"));
    nextButton = button("nextButton", QStringLiteral("下一处"), QStringLiteral("F3 或 回车"));
    findStatus = new QLabel(this);
    findStatus->setObjectName(QStringLiteral("findStatus"));
    closeButton = button("closeButton", QStringLiteral("关闭"), QStringLiteral("Esc"));
    row->addWidget(caption);
    row->addWidget(findEdit, 1);
    row->addWidget(previousButton);
    row->addWidget(nextButton);
    row->addWidget(findStatus, 1);
    row->addWidget(closeButton);

    connect(findEdit, &QLineEdit::textChanged, this, [this] {
        markAll();
        find(false, true);
    });
    connect(nextButton, &QToolButton::clicked, this, &FindBar::findNext);
    connect(previousButton, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(closeButton, &QToolButton::clicked, this, [this] {
        hide();
        m_text->setExtraSelections({});
        m_text->setFocus();
    });
    auto* next = new QShortcut(QKeySequence::FindNext, parent);
    connect(next, &QShortcut::activated, this, [this] {
        if (!isVisible())
            open();
        findNext();
    });
    auto* previous = new QShortcut(QKeySequence::FindPrevious, parent);
    connect(previous, &QShortcut::activated, this, [this] {
        if (!isVisible())
            open();
        findPrevious();
    });
    hide();
}

void FindBar::open()
{
    show();
    findEdit->setFocus(Qt::ShortcutFocusReason);
    findEdit->selectAll();
    markAll();
}

bool FindBar::findNext()
{
    return find(false, false);
}

bool FindBar::findPrevious()
{
    return find(true, false);
}

bool FindBar::find(bool backward, bool fromSelectionStart)
{
    const QString wanted = findEdit->text();
    if (wanted.isEmpty()) {
        findStatus->clear();
        return false;
    }
    QTextDocument* document = m_text->document();
    QTextCursor from = m_text->textCursor();
    // While typing, the place found so far may grow: look again from its start.
    if (fromSelectionStart)
        from.setPosition(from.selectionStart());
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    QTextCursor found = document->find(wanted, from, flags);
    if (found.isNull()) {
        QTextCursor wrap(document);
        wrap.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        found = document->find(wanted, wrap, flags);
    }
    if (found.isNull()) {
        findStatus->setText(QStringLiteral("找不到“%1”").arg(wanted));
        findEdit->setStyleSheet(
            QStringLiteral("QLineEdit { background: #ffdede; color: #000000; }"));
        return false;
    }
    findEdit->setStyleSheet(QString());
    m_text->setTextCursor(found);
    m_text->ensureCursorVisible();
    return true;
}

void FindBar::markAll()
{
    const QString wanted = findEdit->text();
    QList<QTextEdit::ExtraSelection> marks;
    if (!wanted.isEmpty()) {
        QTextCharFormat format;
        format.setBackground(QColor(255, 235, 120));
        QTextDocument* document = m_text->document();
        for (QTextCursor at = document->find(wanted, 0); !at.isNull();
             at = document->find(wanted, at))
            marks.append({at, format});
    }
    m_text->setExtraSelections(marks);
    if (!wanted.isEmpty() && !marks.isEmpty())
        findStatus->setText(QStringLiteral("共 %1 处").arg(marks.size()));
    else
        findStatus->clear();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == findEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers() & Qt::ShiftModifier, false);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeButton->click();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}
