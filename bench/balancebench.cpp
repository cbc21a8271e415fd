#include "balancebench.h"

#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/listingmodel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

namespace bench {

void benchBalanceColumn(int records, const QString& path, PaintWatch& watch, double bareListing,
                        PrintedMessages& printed)
{
    const int runs = records >= 1000000 ? 2 : 3;
    QAction* tick = MainForm->DBGridEh1->showBalanceAction;
    auto untick = [&] {
        if (tick->isChecked())
            tick->trigger();
        MainForm->Button12Click();
        waitUntilRead();
        QCoreApplication::processEvents();
    };
    auto shown = [&] {
        tick->trigger();
        watch.waitForPaint();
        if (!MainForm->DBGridEh1->listingModel()->isBalanceShown())
            std::fprintf(stderr, "the balance column did not show\n");
    };
    // What the column would read from the book, run bare: the same columns in the same order.
    const double bare = bestBare(
        runs, path, {{"select id, day1, \"2\", \"5\" from data order by day1, id", nullptr}});
    const double first = bestOf(
        1,
        [&] {
            untick();
            watch.arm();
        },
        shown);
    row("show balance column, 1st", records, first, bare);
    const double again = bestOf(
        runs,
        [&] {
            untick();
            watch.arm();
        },
        shown);
    row("  again (kept)", records, again, bare);
    const double changed = bestOf(
        runs,
        [&] {
            untick();
            touchBook(); // as another program's write: the column is read from the book
            watch.arm();
        },
        shown);
    row("  after another's write", records, changed, bare);

    // With the column shown, what the user waits for after an add and a modify.
    if (!tick->isChecked())
        tick->trigger();
    EntryPanel* panel = MainForm->Panel3;
    printed.answerYes = true;
    int serial = 0;
    const double add = bestOf(
        runs,
        [&] {
            waitUntilRead();
            panel->newRecord();
            panel->ComboBox1->setEditText(QStringLiteral("收入"));
            panel->ComboBox3->setEditText(QStringLiteral("房租"));
            panel->ComboBox2->setEditText(QStringLiteral("单位%1").arg(++serial));
            panel->Edit9->setText(QStringLiteral("100"));
            panel->Edit28->setText(QStringLiteral("0"));
            QCoreApplication::processEvents();
            watch.arm();
        },
        [&] {
            panel->Button1Click();
            watch.waitForPaint();
        });
    row("add, balance shown", records, add, bareListing);
    const double modify = bestOf(
        runs,
        [&] {
            MainForm->Button12Click();
            waitUntilRead();
            dmfm->ADOQuery15->moveTo(dmfm->ADOQuery15->recordCount() / 2);
            panel->openForModify();
            panel->Edit9->setText(QString::number(200 + ++serial));
            QCoreApplication::processEvents();
            watch.arm();
        },
        [&] {
            panel->Button3Click();
            watch.waitForPaint();
        });
    row("modify mid-book, shown", records, modify, bareListing);
    panel->closePanel();
    printed.answerYes = false;
    untick();
}

} // namespace bench
