#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;

// The find bar under a text: Ctrl+F opens it, typing finds as you go, Enter (or F3) finds the
// next place, Shift+Enter (Shift+F3) the one before, Escape closes it. Every place the text
// occurs is marked; the search wraps around the end.
class FindBar : public QFrame
{
    Q_OBJECT

public:
    FindBar(QTextEdit* text, QWidget* parent);

    void open(); // shows the bar with the typed text selected
    bool findNext();
    bool findPrevious();

    QLineEdit* findEdit = nullptr;
    QToolButton* previousButton = nullptr;
    QToolButton* nextButton = nullptr;
    QLabel* findStatus = nullptr; // how many places, or that there are none
    QToolButton* closeButton = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool find(bool backward, bool fromSelectionStart);
    void markAll();

    QTextEdit* m_text;
};
