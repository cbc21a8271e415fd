#include "cashbook/recordgrid.h"

#include "cashbook/gridcolumns.h"
#include "cashbook/gridfooter.h"
#include "cashbook/gridheader.h"
#include "cashbook/listingmodel.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/formats.h"
#include "gui/commandguard.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace {

QFont gridFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    return font;
}

// Room a cell's text leaves to the cell's edges: the style's text margins and the grid line.
int cellMargin(const QWidget* view)
{
    const QStyle* style = view ? view->style() : QApplication::style();
    return 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 1;
}

// Rows without income keep their green even when selected.
class RowDelegate : public QStyledItemDelegate
{
public:
    RowDelegate(ListingModel* model, QObject* parent) : QStyledItemDelegate(parent), m_model(model)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        if (m_model->isExpenseRow(index.row()))
            opt.state &= ~QStyle::State_Selected;
        if (gridcolumns::column(index.column()).form != gridcolumns::NumberForm::Text) {
            // A figure is never elided: should the column still be too narrow, it shrinks.
            opt.textElideMode = Qt::ElideNone;
            opt.font =
                fittedFont(opt.font, opt.text, opt.rect.width() + 1 - cellMargin(opt.widget));
            opt.fontMetrics = QFontMetrics(opt.font);
        }
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    }

private:
    ListingModel* m_model;
};

} // namespace

RecordGrid::RecordGrid(QWidget* parent)
    : QTableView(parent), m_model(new ListingModel(this)), m_header(new TwoLevelHeader(this)),
      m_footer(new GridFooter(this))
{
    setFont(gridFont());
    m_header->setFont(gridFont());
    m_footer->setFont(gridFont());
    setHorizontalHeader(m_header);
    QStringList titles = ListingModel::titles();
    titles << gridcolumns::column(kBalanceColumn).title();
    m_header->setTitles(titles);
    setModel(m_model);
    setItemDelegate(new RowDelegate(m_model, this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // Every row has the same height: the header never measures a hundred thousand rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(12);
    QPalette pal = verticalHeader()->palette();
    pal.setColor(QPalette::Button, palette().color(QPalette::Active, QPalette::Highlight));
    verticalHeader()->setPalette(pal);
    setToolTip(QStringLiteral("点列标题进行排序，双击记录进行修改"));
    setStatusTip(toolTip());
    viewport()->setStatusTip(toolTip());
    setContextMenuPolicy(Qt::DefaultContextMenu);
    buildMenu();

    connectGuarded(m_header, &TwoLevelHeader::lowerTitleClicked, this, &RecordGrid::titleClick);
    connect(m_header, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        // A width the operator set is kept for the run.
        if (!m_fitting && size > 0 && !isColumnHidden(column))
            m_handWidth[column] = size;
        m_footer->update();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_footer->update(); });
    connect(m_model, &ListingModel::listingChanged, this, [this] {
        fitColumns();
        m_footer->update();
        followCurrentRecord();
    });
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (m_listing && m_listing->isOpen())
            m_listing->moveTo(index.row());
        emit cellClicked();
    });
    connect(this, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_listing && m_listing->isOpen())
            m_listing->moveTo(index.row());
        emit recordChosen();
    });
    connect(N3, &QAction::triggered, this, &RecordGrid::recordChosen);
    fitColumns();
}

RecordGrid::~RecordGrid() = default;

void RecordGrid::buildMenu()
{
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    auto item = [this](const char* name, const QString& caption) {
        QAction* action = PopupMenu3->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    N2 = item("N2", QStringLiteral("新建记录"));
    N3 = item("N3", QStringLiteral("修 改"));
    N4 = item("N4", QStringLiteral("删 除"));
    Excel1 = item("Excel1", QStringLiteral("导出Excel"));
    N5 = item("N5", QStringLiteral("打印报表"));
    PopupMenu3->addSeparator()->setObjectName(QStringLiteral("N6"));
    // The hide switches N7…N11, in column order.
    QList<QAction*> switches;
    for (int column = 0; column < kColumnCount; ++column) {
        const gridcolumns::GridColumn& c = gridcolumns::column(column);
        if (c.hideSwitch.isEmpty())
            continue;
        QAction* action = PopupMenu3->addAction(c.hideCaption.toString());
        action->setObjectName(c.hideSwitch.toString());
        action->setCheckable(true);
        connect(action, &QAction::toggled, this,
                [this, column](bool hidden) { setColumnVisible(column, !hidden); });
        switches << action;
    }
    N7 = switches.at(0);
    N8 = switches.at(1);
    N9 = switches.at(2);
    N10 = switches.at(3);
    N11 = switches.at(4);
    showBalanceAction = PopupMenu3->addAction(QStringLiteral("显示余额列"));
    showBalanceAction->setObjectName(QStringLiteral("showBalanceAction"));
    showBalanceAction->setCheckable(true);
    showBalanceAction->setStatusTip(
        QStringLiteral("在表格最后显示每条记录之后的现金余额（期初余额加全部账目按日期累计）"));
    connect(showBalanceAction, &QAction::toggled, this, [this](bool shown) {
        if (!guarded(this, [&] { showBalance(shown); })) {
            const QSignalBlocker quiet(showBalanceAction);
            showBalanceAction->setChecked(m_model->isBalanceShown());
        }
    });
}

void RecordGrid::showBalance(bool shown)
{
    m_handWidth[kBalanceColumn] = 0;
    m_model->setBalanceShown(shown);
    fitColumns();
    m_header->viewport()->update();
    m_footer->update();
}

int RecordGrid::shownColumnCount() const
{
    return m_model->columnCount();
}

void RecordGrid::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu3->popup(event->globalPos());
}

void RecordGrid::setListing(Dataset* listing)
{
    m_listing = listing;
    m_model->setListing(listing);
    if (!m_listing)
        return;
    connect(m_listing, &Dataset::currentChanged, this, [this] { followCurrentRecord(); });
    // A static footer (the balance line) describes the rows it was made for: rows added,
    // removed, changed or read anew take it away; a sort or an unchanged reading keep it, and
    // so does the filling in of rows already counted.
    for (auto rowsChanged : {&Dataset::rowInserted, &Dataset::rowRemoved, &Dataset::rowChanged})
        connect(m_listing, rowsChanged, this, [this] { dropStaleFooters(); });
    connect(m_listing, &Dataset::resetDone, this, [this] { dropStaleFooters(); });
    connect(m_listing, &Dataset::filled, this,
            [this] { m_staticFooterVersion = m_listing->contentVersion(); });
}

void RecordGrid::dropStaleFooters()
{
    if (m_listing->contentVersion() == m_staticFooterVersion)
        return;
    for (QString& text : m_staticFooter)
        text.clear();
    m_footer->update();
}

void RecordGrid::followCurrentRecord()
{
    if (m_syncing || !m_listing || !m_listing->isOpen() || m_listing->isEmpty())
        return;
    const QModelIndex target =
        m_model->index(m_listing->recNo() - 1, std::max(0, currentIndex().column()));
    if (target == currentIndex())
        return;
    m_syncing = true;
    setCurrentIndex(target);
    scrollTo(target);
    m_syncing = false;
}

void RecordGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    // Keyboard moves make the row current in the listing too.
    if (!m_syncing && current.isValid() && m_listing && m_listing->isOpen() &&
        current.row() != m_listing->recNo() - 1) {
        m_syncing = true;
        m_listing->moveTo(current.row());
        m_syncing = false;
    }
}

QString RecordGrid::columnField(int column) const
{
    return gridcolumns::field(column);
}

QString RecordGrid::columnTitle(int column) const
{
    return gridcolumns::column(column).title();
}

int RecordGrid::designWidth(int column)
{
    return gridcolumns::column(column).designWidth;
}

bool RecordGrid::isColumnVisible(int column) const
{
    return !isColumnHidden(column);
}

void RecordGrid::setColumnVisible(int column, bool visible)
{
    m_fitting = true;
    setColumnHidden(column, !visible);
    m_fitting = false;
    fitColumns();
    m_header->viewport()->update();
    m_footer->update();
}

void RecordGrid::fitColumns()
{
    // Columns the operator sized keep their width; the others share the rest of the width in
    // their design proportions.
    const int count = shownColumnCount();
    int total = 0;
    int rest = viewport()->width();
    int minimum = 0; // what is left may be little once the operator has widened columns
    // The running balance takes its room from the text columns, as an amount does, so that the
    // ten columns keep their widths and the dates stay whole.
    auto shares = [this](int c) { return c != kBalanceColumn || m_handWidth[c] > 0; };
    for (int c = 0; c < count; ++c) {
        if (isColumnHidden(c) || !shares(c))
            continue;
        if (m_handWidth[c] > 0) {
            rest -= m_handWidth[c];
            minimum = kMinimumWidth;
        } else {
            total += designWidth(c);
        }
    }
    if (viewport()->width() <= 0)
        return;
    int widths[kColumnCount + 1] = {};
    int used = 0;
    int lastShared = -1;
    for (int c = 0; c < count; ++c) {
        if (isColumnHidden(c) || !shares(c))
            continue;
        if (m_handWidth[c] > 0) {
            widths[c] = m_handWidth[c];
            continue;
        }
        widths[c] = std::max(minimum, rest * designWidth(c) / std::max(total, 1));
        used += widths[c];
        lastShared = c;
    }
    // The rounding rest goes to the last column, so the columns fill the width exactly.
    if (lastShared >= 0)
        widths[lastShared] = std::max(minimum, widths[lastShared] + rest - used);
    // Amount columns widen to their widest figure and their sum, which are never cut; the room
    // comes from the text columns the operator left alone, which may elide.
    int excess = 0;
    for (int c = 0; c < count; ++c) {
        if (isColumnHidden(c) || gridcolumns::column(c).form == gridcolumns::NumberForm::Text)
            continue;
        const int needed = shares(c) ? figureWidth(c) : std::max(figureWidth(c), designWidth(c));
        if (widths[c] < needed) {
            if (m_handWidth[c] == 0)
                excess += needed - widths[c];
            widths[c] = needed;
        }
    }
    using namespace gridcolumns;
    for (int c : {Summary, Counterparty, Date, Kind}) {
        if (excess <= 0 || isColumnHidden(c) || m_handWidth[c] > 0)
            continue;
        const int take = std::clamp(widths[c] - 40, 0, excess);
        widths[c] -= take;
        excess -= take;
    }
    m_fitting = true;
    for (int c = 0; c < count; ++c)
        if (!isColumnHidden(c))
            setColumnWidth(c, widths[c]);
    m_fitting = false;
}

int RecordGrid::figureWidth(int column) const
{
    const QFontMetrics metrics(font());
    return std::max(metrics.horizontalAdvance(footerText(column)) + 8,
                    metrics.horizontalAdvance(m_model->widestFigure(column)) + cellMargin(this));
}

void RecordGrid::placeFooter()
{
    const int h = fontMetrics().height() + 8;
    setViewportMargins(verticalHeader()->isVisible() ? verticalHeader()->width() : 0,
                       m_header->sizeHint().height(), 0, h);
    const QRect vp = viewport()->geometry();
    const int bottom = vp.bottom() + 1;
    m_footer->setGeometry(frameWidth(), bottom, width() - 2 * frameWidth(), h);
    m_footer->raise();
}

void RecordGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    placeFooter();
    fitColumns();
}

QString RecordGrid::footerText(int column) const
{
    if (gridcolumns::column(column).summed)
        return m_model->footerSum(column);
    return m_staticFooter[column];
}

QString RecordGrid::staticFooterText(int column) const
{
    return m_staticFooter[column];
}

void RecordGrid::setStaticFooterText(int column, const QString& text)
{
    m_staticFooter[column] = text;
    m_staticFooterVersion = m_listing ? m_listing->contentVersion() : 0;
    m_footer->update();
}

QString RecordGrid::firstFieldText() const
{
    if (!m_listing || !m_listing->isOpen() || m_listing->isEmpty())
        return {};
    return m_listing->text(gridcolumns::field(gridcolumns::Kind));
}

void RecordGrid::titleClick(int column)
{
    if (columnField(column).isEmpty())
        return; // the balance follows the book's date order, not the listing's
    if (!m_listing || !m_listing->isOpen())
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const TwoLevelHeader::Marker before = m_header->marker(column);
    const QString field = columnField(column);
    m_listing->setSort(before == TwoLevelHeader::Marker::Down ? field
                                                              : field + QStringLiteral(" DESC"));
    const TwoLevelHeader::Marker after = before == TwoLevelHeader::Marker::Down
                                             ? TwoLevelHeader::Marker::Up
                                             : TwoLevelHeader::Marker::Down;
    m_header->clearMarkers();
    m_header->setMarker(column, after);
}
