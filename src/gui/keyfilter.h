#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Lets only some typed characters through to a field, and gives Enter a job of its own.
// Keys that type nothing (arrows, Tab, Shift+Tab, Backspace, Delete) pass unchanged; a line
// edit without a validator gets one with the same rule, so pasted text is held to it too.
class KeyFilter : public QObject
{
    Q_OBJECT

public:
    using CharTest = std::function<bool(QChar)>;

    // allowed == nullptr lets every character through. onEnter runs on Enter; Enter
    // itself never reaches the field.
    KeyFilter(QWidget* field, CharTest allowed, std::function<void()> onEnter);

    static bool letterOrDigit(QChar ch);
    static bool amountCharacter(QChar ch);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CharTest m_allowed;
    std::function<void()> m_onEnter;
};

// Password fields: masked, 10 letters or digits at most.
void makePasswordField(class QLineEdit* field, std::function<void()> onEnter);
