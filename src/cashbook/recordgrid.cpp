#include "cashbook/recordgrid.h"

#include "cashbook/gridheader.h"
#include "cashbook/listingmodel.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/formats.h"
#include "gui/commandguard.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

const QColor kFooterColour(255, 194, 134);
const int kDesignWidths[RecordGrid::kColumnCount] = {70, 80, 180, 120, 70, 70, 70, 70, 70, 70};

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

// The font, made smaller until text fits in width (it is left as it is when it fits).
QFont fittedFont(const QFont& font, const QString& text, int width)
{
    QFont fitted = font;
    int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    while (pixels > 6 && QFontMetrics(fitted).horizontalAdvance(text) > width) {
        --pixels;
        fitted.setPixelSize(pixels);
    }
    return fitted;
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
        if (index.column() >= 4) {
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

// The footer row under the cells, kept in step with the columns and the scroll position.
class GridFooter : public QWidget
{
public:
    explicit GridFooter(RecordGrid* grid) : QWidget(grid), m_grid(grid) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setFont(font());
        p.fillRect(rect(), kFooterColour);
        QHeaderView* header = m_grid->horizontalHeader();
        const int offset =
            m_grid->verticalHeader()->isVisible() ? m_grid->verticalHeader()->width() : 0;
        auto cellRect = [&](int c) {
            return QRect(offset + header->sectionViewportPosition(c) + m_grid->frameWidth(), 0,
                         header->sectionSize(c), height());
        };
        for (int c = 0; c < RecordGrid::kColumnCount; ++c) {
            if (header->isSectionHidden(c))
                continue;
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(cellRect(c).adjusted(0, 0, -1, -1));
        }
        for (int c = 0; c < RecordGrid::kColumnCount; ++c) {
            if (header->isSectionHidden(c))
                continue;
            const QString text = m_grid->footerText(c);
            if (text.isEmpty())
                continue;
            QRect cell = cellRect(c);
            const Qt::Alignment align = c == 0 ? Qt::AlignCenter : ListingModel::alignment(c);
            // A long static text (the balance line) runs on over the empty cells to its right.
            if (align & Qt::AlignLeft) {
                for (int next = c + 1; next < RecordGrid::kColumnCount &&
                                       p.fontMetrics().horizontalAdvance(text) + 6 > cell.width();
                     ++next) {
                    if (header->isSectionHidden(next))
                        continue;
                    if (!m_grid->footerText(next).isEmpty())
                        break;
                    cell.setRight(cellRect(next).right());
                }
                p.fillRect(cell.adjusted(1, 1, -1, -1), kFooterColour);
            }
            p.setPen(Qt::black);
            // Sums and the balance line stay whole, in a smaller face if need be.
            const QRect inner = cell.adjusted(3, 0, -3, 0);
            p.setFont(fittedFont(font(), text, inner.width()));
            p.drawText(inner, align | Qt::AlignVCenter, text);
        }
    }

private:
    RecordGrid* m_grid;
};

RecordGrid::RecordGrid(QWidget* parent)
    : QTableView(parent), m_model(new ListingModel(this)), m_header(new TwoLevelHeader(this)),
      m_footer(new GridFooter(this))
{
    setFont(gridFont());
    m_header->setFont(gridFont());
    m_footer->setFont(gridFont());
    setHorizontalHeader(m_header);
    m_header->setTitles(ListingModel::titles());
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

    connect(m_header, &TwoLevelHeader::lowerTitleClicked, this,
            [this](int column) { guarded(this, [this, column] { titleClick(column); }); });
    connect(m_header, &QHeaderView::sectionResized, this, [this] { m_footer->update(); });
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
    const QList<QPair<const char*, QString>> switches = {{"N7", QStringLiteral("隐藏单位名称")},
                                                         {"N8", QStringLiteral("隐藏已收金额")},
                                                         {"N9", QStringLiteral("隐藏应收账款")},
                                                         {"N10", QStringLiteral("隐藏已付金额")},
                                                         {"N11", QStringLiteral("隐藏应付账款")}};
    const int columns[] = {3, 5, 6, 8, 9};
    QAction** targets[] = {&N7, &N8, &N9, &N10, &N11};
    for (int i = 0; i < 5; ++i) {
        QAction* action = item(switches[i].first, switches[i].second);
        action->setCheckable(true);
        const int column = columns[i];
        connect(action, &QAction::toggled, this,
                [this, column](bool hidden) { setColumnVisible(column, !hidden); });
        *targets[i] = action;
    }
}

void RecordGrid::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu3->popup(event->globalPos());
}

void RecordGrid::setListing(Dataset* listing)
{
    m_listing = listing;
    m_model->setListing(listing);
    if (m_listing)
        connect(m_listing, &Dataset::currentChanged, this, [this] { followCurrentRecord(); });
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
    return ListingModel::fields().at(column);
}

QString RecordGrid::columnTitle(int column) const
{
    return ListingModel::titles().at(column);
}

int RecordGrid::designWidth(int column)
{
    return kDesignWidths[column];
}

bool RecordGrid::isColumnVisible(int column) const
{
    return !isColumnHidden(column);
}

void RecordGrid::setColumnVisible(int column, bool visible)
{
    setColumnHidden(column, !visible);
    fitColumns();
    m_header->viewport()->update();
    m_footer->update();
}

void RecordGrid::fitColumns()
{
    int total = 0;
    for (int c = 0; c < kColumnCount; ++c)
        if (!isColumnHidden(c))
            total += kDesignWidths[c];
    const int available = viewport()->width();
    if (total == 0 || available <= 0)
        return;
    int widths[kColumnCount] = {};
    int used = 0;
    int lastVisible = -1;
    for (int c = 0; c < kColumnCount; ++c) {
        if (isColumnHidden(c))
            continue;
        widths[c] = available * kDesignWidths[c] / total;
        used += widths[c];
        lastVisible = c;
    }
    // The rounding rest goes to the last column, so the columns fill the width exactly.
    if (lastVisible >= 0)
        widths[lastVisible] += available - used;
    // Amount columns are at least as wide as their widest figure and their sum; the room
    // comes from the text columns, which may elide.
    int excess = 0;
    for (int c = 4; c < kColumnCount; ++c) {
        if (isColumnHidden(c))
            continue;
        const int needed = figureWidth(c);
        if (widths[c] < needed) {
            excess += needed - widths[c];
            widths[c] = needed;
        }
    }
    for (int c : {2, 3, 1, 0}) {
        if (excess <= 0 || isColumnHidden(c))
            continue;
        const int take = std::clamp(widths[c] - 40, 0, excess);
        widths[c] -= take;
        excess -= take;
    }
    for (int c = 0; c < kColumnCount; ++c)
        if (!isColumnHidden(c))
            setColumnWidth(c, widths[c]);
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
    int bottom = vp.bottom() + 1;
    if (horizontalScrollBar()->isVisible())
        bottom = vp.bottom() + 1;
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
    if (column >= 4 && column <= 9)
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
    m_footer->update();
}

QString RecordGrid::firstFieldText() const
{
    if (!m_listing || !m_listing->isOpen() || m_listing->isEmpty())
        return {};
    return m_listing->text(QStringLiteral("a"));
}

void RecordGrid::titleClick(int column)
{
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
