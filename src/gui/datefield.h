#pragma once

#include <QDateEdit>

class QLineEdit;

// A date editor that takes a whole typed date, as a spreadsheet cell does: typing replaces the
// date with free text, "2024-04-15", "2024/4/15", "20240415", "4-15" or "2024", which counts
// once Enter, Tab or a click elsewhere ends it; Backspace and Delete mend the shown date. The
// calendar pop-up and the shown form stay; Tab and Shift+Tab leave the field. A typed text that
// names no date stays shown after a click elsewhere and is what the field holds: reading it
// (enteredText) gives that text, so the command that reads it refuses it.
class DateField : public QDateEdit
{
    Q_OBJECT

public:
    explicit DateField(QWidget* parent = nullptr);

    // The date a typed text names, the short forms ("3-9", "2024") taken with the rest of
    // shown; invalid when it names none.
    static QDate parseTyped(const QString& text, const QDate& shown);
    bool isTyping() const;
    // What the field holds as text: the date shown (yyyy-mm-dd), or the typed or stored text
    // when it names no date.
    QString enteredText() const;
    // Shows a stored day: a yyyy-mm-dd date as the date, anything else (empty included) as
    // the field's text, to be typed over.
    void setEnteredText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void startTyping(QKeyEvent* event);
    void showTyped(const QString& text); // the typing field over the shown date
    // Takes the typed date; false (and a warning when asked) for a text that is no date.
    bool finishTyping(bool warn);
    void leave(bool forward);

    QLineEdit* m_typing = nullptr;
};
