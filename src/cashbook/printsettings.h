#pragma once

#include "cashbook/reportlayout.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

#include <functional>

class RecordGrid;

// The main window's print settings: which grid, how the pages look, the texts around the
// grid and the substitutions of one run. Edited by the page setup; kept until the program ends.
// Named after the Windows program's grid printer component (object PrintDBGridEh1).
class TPrintDBGridEh : public QObject
{
    Q_OBJECT

public:
    explicit TPrintDBGridEh(QObject* parent = nullptr);

    QPointer<RecordGrid> DBGridEh; // the grid printed (the main window's DBGridEh1)
    report::Options options;
    QString pageHeader = QStringLiteral("Page. &[Page]");
    double headerFontPixels = 11; // "MS Sans Serif", printed in the print font
    QString title;
    QList<report::Paragraph> beforeGridText;
    QList<report::Paragraph> afterGridText; // keeps "%[Today]"
    QList<QPair<QString, QString>> substitutions;

    // A snapshot of the bound grid with the substitutions applied to copies of the texts.
    report::Content content() const;
};

// The fixed cells' colour: the system's active caption colour.
QColor activeCaptionColour();

// Where the print command reads today's date; an empty function restores the clock.
void setPrintClock(std::function<QDate()> today);
