// 账务工具: the toolbar's menu of bookkeeping tools, and the user guide (使用说明, F1) at its
// end.
#include "app/mainform.h"
#include "data/errors.h"
#include "gui/commandguard.h"
#include "gui/orderedmenu.h"
#include "gui/showorcreate.h"
#include "help/guide.h"
#include "help/guidewindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>

namespace {

// Every place the menu has, in order; "-" between groups. A command not built yet is simply
// not added, and the separators next to it follow.
const QStringList& toolsLayout()
{
    static const QStringList layout = {
        QStringLiteral("settlementAction"),   // 收款/付款登记… Ctrl+R
        QStringLiteral("statementAction"),    // 往来对账单 Ctrl+D
        QStringLiteral("agingAction"),        // 账龄分析 Ctrl+G
        QStringLiteral("-"),                  //
        QStringLiteral("importAction"),       // 导入账单… Ctrl+I
        QStringLiteral("-"),                  //
        QStringLiteral("recycleBinAction"),   // 回收站 Ctrl+B
        QStringLiteral("historyAction"),      // 修改记录 Ctrl+H
        QStringLiteral("undoAction"),         // 撤销上一步 Ctrl+Z
        QStringLiteral("-"),                  //
        QStringLiteral("monthClosingAction"), // 月末结账… Ctrl+M
        QStringLiteral("cashJournalAction"),  // 现金日记账 Ctrl+J
        QStringLiteral("-"),                  //
        QStringLiteral("guideAction"),        // 使用说明 F1
    };
    return layout;
}

QIcon toolsIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A ledger with ruled lines and a pen across it.
    p.setPen(QPen(QColor(90, 60, 30), 1.2));
    p.setBrush(QColor(250, 244, 225));
    p.drawRoundedRect(QRectF(4.5, 3.5, 20, 25), 2, 2);
    p.setBrush(QColor(170, 40, 40));
    p.drawRect(QRectF(4.5, 3.5, 4, 25));
    p.setPen(QPen(QColor(70, 110, 170), 1));
    for (int y = 9; y <= 24; y += 5)
        p.drawLine(QPointF(11, y + 0.5), QPointF(22, y + 0.5));
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(230, 170, 40));
    p.translate(22, 20);
    p.rotate(-45);
    p.drawRect(QRectF(-2.5, -11, 5, 17));
    p.setBrush(QColor(60, 60, 60));
    p.drawPolygon(QPolygonF({QPointF(-2.5, 6), QPointF(2.5, 6), QPointF(0, 10)}));
    p.end();
    return QIcon(pixmap);
}

} // namespace

void TMainForm::buildToolsMenu()
{
    toolsMenu = new QMenu(this);
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    m_toolsItems = new OrderedMenu(toolsMenu, toolsLayout());
    toolsButton = new QToolButton(ToolBar2);
    toolsButton->setObjectName(QStringLiteral("toolsButton"));
    toolsButton->setText(QStringLiteral("账务工具"));
    toolsButton->setIcon(toolsIcon());
    toolsButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolsButton->setIconSize(QSize(32, 32));
    toolsButton->setAutoRaise(true);
    toolsButton->setMenu(toolsMenu);
    toolsButton->setPopupMode(QToolButton::InstantPopup);
    toolsButton->setToolTip(QStringLiteral("收付款、对账、导入和使用说明等账务工具"));
    toolsButton->setStatusTip(toolsButton->toolTip());
    ToolBar2->addWidget(toolsButton);
    fitToolBar();

    settlementAction =
        addToolsCommand("settlementAction", QStringLiteral("收款/付款登记…"),
                        QKeySequence(Qt::CTRL | Qt::Key_R), &TMainForm::settlementClick);
    statementAction =
        addToolsCommand("statementAction", QStringLiteral("往来对账单"),
                        QKeySequence(Qt::CTRL | Qt::Key_D), &TMainForm::statementClick);
    agingAction = addToolsCommand("agingAction", QStringLiteral("账龄分析"),
                                  QKeySequence(Qt::CTRL | Qt::Key_G), &TMainForm::agingClick);
    importAction = addToolsCommand("importAction", QStringLiteral("导入账单…"),
                                   QKeySequence(Qt::CTRL | Qt::Key_I), &TMainForm::importClick);
    cashJournalAction =
        addToolsCommand("cashJournalAction", QStringLiteral("现金日记账"),
                        QKeySequence(Qt::CTRL | Qt::Key_J), &TMainForm::cashJournalClick);
    recycleBinAction =
        addToolsCommand("recycleBinAction", QStringLiteral("回收站"),
                        QKeySequence(Qt::CTRL | Qt::Key_B), &TMainForm::recycleBinClick);
    historyAction = addToolsCommand("historyAction", QStringLiteral("修改记录"),
                                    QKeySequence(Qt::CTRL | Qt::Key_H), &TMainForm::historyClick);
    undoAction = addToolsCommand("undoAction", QStringLiteral("撤销上一步"),
                                 QKeySequence(Qt::CTRL | Qt::Key_Z), &TMainForm::undoClick);
    monthClosingAction =
        addToolsCommand("monthClosingAction", QStringLiteral("月末结账…"),
                        QKeySequence(Qt::CTRL | Qt::Key_M), &TMainForm::monthClosingClick);
    guideAction = addToolsCommand("guideAction", QStringLiteral("使用说明"),
                                  QKeySequence::HelpContents, &TMainForm::guideClick);
    // The guide answers F1 from every window of the program, not only this one.
    guideAction->setShortcutContext(Qt::ApplicationShortcut);
}

QAction* TMainForm::addToolsCommand(const char* name, const QString& caption,
                                    const QKeySequence& keys, void (TMainForm::*handler)())
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    // A shortcut works while its action sits in a shown window: the main window holds it too.
    addAction(action);
    m_toolsItems->add(action);
    connectGuarded(action, &QAction::triggered, this, handler);
    return action;
}

// The toolbar has room for its six buttons at their design size between the quick-query group
// and the window's edge; the buttons added since share what is left.
void TMainForm::fitToolBar()
{
    constexpr int left = 506;
    constexpr int right = 938;
    constexpr int designWidth = 55;
    ToolBar2->setContentsMargins(0, 0, 0, 0);
    ToolBar2->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar2->layout()->setSpacing(0);
    QList<QToolButton*> added;
    int designed = 0;
    for (QToolButton* button : ToolBar2->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
        if (button->objectName().startsWith(u"ToolButton"))
            designed += designWidth;
        else if (!button->objectName().startsWith(u"qt_"))
            added.append(button);
    }
    const int share =
        added.isEmpty() ? 0 : std::min(designWidth, (right - left - designed) / int(added.size()));
    for (QToolButton* button : added)
        button->setFixedSize(share, 51);
    ToolBar2->setGeometry(left, 8, designed + share * int(added.size()), 59);
}

void TMainForm::guideClick()
{
    const QString program = QCoreApplication::applicationDirPath();
    const QString path = guide::locate(program);
    if (path.isEmpty()) {
        QStringList places;
        for (const QString& folder : guide::folders(program))
            places << QDir::toNativeSeparators(folder);
        throw QuenvaleError(QStringLiteral("找不到使用说明 %1。查找过的文件夹：\n%2")
                                .arg(guide::fileName(), places.join(u'\n')));
    }
    GuideWindow* before = guideWindow;
    GuideWindow* window = ShowOrCreateForm(this, guideWindow);
    if (window == before)
        return;
    connect(window, &QObject::destroyed, this, [this, window] {
        if (guideWindow == window)
            guideWindow = nullptr;
    });
    window->open(path);
}
