#include "history/recyclebinwindow.h"

#include "data/dm.h"
#include "data/errors.h"
#include "data/recyclebin.h"
#include "gui/commandguard.h"
#include "gui/formfields.h"
#include "gui/messages.h"
#include "history/historymodels.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

RecycleBinWindow::RecycleBinWindow(QWidget* owner)
    : QWidget(owner), m_model(new BinModel(this)), m_operator(history::currentOperator())
{
    setObjectName(QStringLiteral("recycleBinWindow"));
    setWindowTitle(QStringLiteral("回收站"));
    setAttribute(Qt::WA_DeleteOnClose, true);
    resize(1100, 480);

    hintLabel = new QLabel(QStringLiteral("删除的记录留在回收站中，直到被恢复或由超级管理员彻底"
                                          "删除；修改记录中始终保留删除的经过。"),
                           this);
    hintLabel->setObjectName(QStringLiteral("hintLabel"));
    view = new QTableView(this);
    view->setObjectName(QStringLiteral("binView"));
    view->setModel(m_model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    restoreButton = namedButton(this, QStringLiteral("恢复记录"), "restoreButton");
    purgeButton = namedButton(this, QStringLiteral("彻底删除"), "purgeButton");
    closeButton = namedButton(this, QStringLiteral("关 闭"), "closeButton");
    if (!history::isAdministrator(m_operator)) {
        purgeButton->setEnabled(false);
        purgeButton->setToolTip(QStringLiteral("只有超级管理员能彻底删除记录"));
    }
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(countLabel, 1);
    for (QPushButton* b : {restoreButton, purgeButton, closeButton})
        bottom->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hintLabel);
    layout->addWidget(view, 1);
    layout->addLayout(bottom);

    connectGuarded(restoreButton, &QPushButton::clicked, this, &RecycleBinWindow::restoreClick);
    connectGuarded(purgeButton, &QPushButton::clicked, this, &RecycleBinWindow::purgeClick);
    connectGuarded(view, &QTableView::doubleClicked, this, &RecycleBinWindow::restoreClick);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
}

RecycleBinWindow::~RecycleBinWindow() = default;

void RecycleBinWindow::setRestorer(std::unique_ptr<RecordRestorer> restorer)
{
    m_restorer = std::move(restorer);
}

void RecycleBinWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    guarded(this, [this] { refresh(); });
}

void RecycleBinWindow::refresh()
{
    QSqlDatabase db = dmfm->connection();
    m_model->setEntries(recyclebin::list(db));
    view->resizeColumnsToContents();
    countLabel->setText(QStringLiteral("回收站中有 %1 条记录").arg(m_model->rowCount()));
}

std::optional<history::Entry> RecycleBinWindow::chosen(const QString& missing)
{
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    const int row = rows.isEmpty() ? -1 : rows.constFirst().row();
    if (row < 0 || row >= m_model->rowCount()) {
        messages().information(this, missing);
        return std::nullopt;
    }
    return m_model->entries().at(row);
}

bool RecycleBinWindow::unlessChangedMeanwhile(const std::function<void()>& change)
{
    try {
        change();
    } catch (const ConflictError& e) {
        messages().information(this, e.message());
        refresh();
        return false;
    }
    refresh();
    return true;
}

void RecycleBinWindow::restoreClick()
{
    const std::optional<history::Entry> entry =
        chosen(QStringLiteral("请先在列表中选择要恢复的记录。"));
    if (!entry)
        return;
    if (!m_restorer)
        throw QuenvaleError(QStringLiteral("回收站没有连接到账本，无法恢复记录。"));
    if (!unlessChangedMeanwhile([&] { m_restorer->restore(*entry); }))
        return;
    if (recordsChanged)
        recordsChanged();
    messages().information(this, QStringLiteral("记录已恢复到账本中（编号 %1）。").arg(entry->key));
}

void RecycleBinWindow::purgeClick()
{
    if (!history::isAdministrator(m_operator)) {
        messages().information(this, QStringLiteral("只有超级管理员才能彻底删除回收站中的记录。"));
        return;
    }
    const std::optional<history::Entry> entry =
        chosen(QStringLiteral("请先在列表中选择要彻底删除的记录。"));
    if (!entry)
        return;
    if (!messages().question(this,
                             QStringLiteral("彻底删除后这条记录不能再从回收站恢复，修改记录"
                                            "中仍保留它被删除的经过。确定要彻底删除吗？"),
                             QStringLiteral("警告！")))
        return;
    QSqlDatabase db = dmfm->connection();
    if (unlessChangedMeanwhile([&] { recyclebin::purge(db, *entry, m_operator); }))
        messages().information(this, QStringLiteral("记录已彻底删除。"));
}
