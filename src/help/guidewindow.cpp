#include "help/guidewindow.h"

#include "data/errors.h"
#include "gui/icons.h"
#include "help/findbar.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kContentsWidth = 230;
constexpr int kPictureMargin = 24;

} // namespace

QImage GuideWindow::picture(const QString& name) const
{
    // The browser hands over a picture's bytes; the layout turns them into an image later.
    const QVariant data = guideText->document()->resource(QTextDocument::ImageResource, QUrl(name));
    if (data.userType() == QMetaType::QImage)
        return data.value<QImage>();
    if (data.userType() == QMetaType::QPixmap)
        return data.value<QPixmap>().toImage();
    return QImage::fromData(data.toByteArray());
}

GuideWindow::GuideWindow(QWidget* owner) : QWidget(owner)
{
    setObjectName(QStringLiteral("guideWindow"));
    setWindowTitle(QStringLiteral("使用说明"));
    setWindowIcon(icons::program());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    splitter = new QSplitter(this);
    splitter->setObjectName(QStringLiteral("splitter"));
    contentsTree = new QTreeWidget(splitter);
    contentsTree->setObjectName(QStringLiteral("contentsTree"));
    contentsTree->setHeaderLabel(QStringLiteral("目录"));
    contentsTree->header()->setStretchLastSection(true);
    guideText = new QTextBrowser(splitter);
    guideText->setObjectName(QStringLiteral("guideText"));
    guideText->setOpenExternalLinks(true);
    QFont reading = guideText->font();
    reading.setPixelSize(14);
    guideText->setFont(reading);
    splitter->addWidget(contentsTree);
    splitter->addWidget(guideText);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kContentsWidth, 900});
    findBar = new FindBar(guideText, this);
    column->addWidget(splitter, 1);
    column->addWidget(findBar);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, findBar, &FindBar::open);
    connect(contentsTree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { scrollToBlock(item->data(0, Qt::UserRole).toInt()); });
    resize(1180, 820);
}

void GuideWindow::open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QuenvaleError(QStringLiteral("无法打开使用说明 %1：%2")
                                .arg(QDir::toNativeSeparators(path), file.errorString()));
    // The pictures' paths are relative to the guide's folder.
    guideText->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()),
                         QTextDocument::MarkdownResource);
    fillContents();
    m_fittedWidth = -1;
    fitPictures();
}

QStringList GuideWindow::headings() const
{
    QStringList found;
    for (QTextBlock block = guideText->document()->begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() > 0)
            found << block.text();
    return found;
}

void GuideWindow::fillContents()
{
    contentsTree->clear();
    QTreeWidgetItem* section = nullptr;
    for (QTextBlock block = guideText->document()->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        // Level 1 is the guide's title; 2 are sections, 3 the tasks in them.
        if (level < 2 || level > 3)
            continue;
        QTreeWidgetItem* item = level == 2 || !section ? new QTreeWidgetItem(contentsTree)
                                                       : new QTreeWidgetItem(section);
        if (level == 2)
            section = item;
        item->setText(0, block.text());
        item->setData(0, Qt::UserRole, block.position());
    }
    contentsTree->expandAll();
}

bool GuideWindow::showSection(const QString& heading)
{
    for (QTextBlock block = guideText->document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0 && block.text() == heading) {
            scrollToBlock(block.position());
            return true;
        }
    }
    return false;
}

void GuideWindow::scrollToBlock(int position)
{
    QTextDocument* document = guideText->document();
    const QTextBlock block = document->findBlock(position);
    QTextCursor cursor(block);
    guideText->setTextCursor(cursor);
    const QRectF box = document->documentLayout()->blockBoundingRect(block);
    guideText->verticalScrollBar()->setValue(static_cast<int>(box.top()));
}

void GuideWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // After the splitter has given the text its new width.
    QTimer::singleShot(0, this, &GuideWindow::fitPictures);
}

// A picture wider than the text's column is shown smaller, so no line needs scrolling sideways.
void GuideWindow::fitPictures()
{
    const int room = guideText->viewport()->width() - kPictureMargin;
    if (room <= 0 || room == m_fittedWidth)
        return;
    m_fittedWidth = room;
    QTextDocument* document = guideText->document();
    QTextCursor edit(document);
    edit.beginEditBlock();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid())
                continue;
            const QImage image = picture(format.name());
            if (image.isNull())
                continue;
            const qreal width = std::min<qreal>(image.width(), room);
            if (qFuzzyCompare(format.width(), width))
                continue;
            format.setWidth(width);
            format.setHeight(image.height() * width / image.width());
            QTextCursor at(document);
            at.setPosition(fragment.position());
            at.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            at.setCharFormat(format);
        }
    }
    edit.endEditBlock();
}
