#include "export/DBGridEhToExcel.h"

#include "data/errors.h"
#include "data/formats.h"
#include "export/biffwriter.h"
#include "export/exportedgrid.h"
#include "export/progresswindow.h"
#include "gui/messages.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QUrl>

#include <algorithm>

namespace {

const QString kHiddenMark = QStringLiteral("*****");

} // namespace

void TDBGridEhTitle::GetTitleCells(TTitleCell& cells)
{
    VisibleColumns.clear();
    TitleLevelCount = 1;
    for (int c = 0; c < m_grid->columnCount(); ++c) {
        TitleLevelCount =
            std::max(TitleLevelCount, static_cast<int>(m_grid->columnTitle(c).count(u'|')) + 1);
        if (m_grid->isColumnVisible(c))
            VisibleColumns << c;
    }
    VisibleColumnCount = static_cast<int>(VisibleColumns.size());

    cells = TTitleCell(VisibleColumnCount);
    for (int k = 0; k < VisibleColumnCount; ++k) {
        QStringList& levels = cells[k];
        for (int level = 0; level < TitleLevelCount; ++level)
            levels << QString();
        const QStringList parts = m_grid->columnTitle(VisibleColumns[k]).split(u'|');
        for (int level = 0; level < parts.size() && level < TitleLevelCount; ++level)
            levels[level] = parts[level];
    }
}

TDBGridEhToExcel::TDBGridEhToExcel(QObject* owner) : QObject(owner) {}

TDBGridEhToExcel::~TDBGridEhToExcel() = default;

Dataset* TDBGridEhToExcel::dataset() const
{
    return m_grid ? m_grid->dataset() : nullptr;
}

void TDBGridEhToExcel::ExportToExcel()
{
    Dataset* data = dataset();
    if (!data || !data->isOpen() || data->isEmpty())
        return;
    if (m_fileName.trimmed().isEmpty())
        return;
    PrepareFields();

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    try {
        const QFileInfo target(m_fileName);
        // A folder of that name is no file to overwrite; the save below says so.
        const bool ask = target.exists() && !target.isDir();
        if (!ask || messages().yesNo(m_grid->window(), QStringLiteral("提示"),
                                     QStringLiteral("已存在文件（") + m_fileName +
                                         QStringLiteral("），是否覆盖？"),
                                     true)) {
            if (m_showProgress)
                ShowProgressWindow();
            // Written beside the target and renamed into place only when complete, so a
            // failure leaves the old file (if any) as it was.
            QSaveFile file(m_fileName);
            if (!file.open(QIODevice::WriteOnly))
                throw QuenvaleError(file.errorString());
            WriteSheet(&file);
            if (!file.commit())
                throw QuenvaleError(file.errorString());
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(QFileInfo(m_fileName).absoluteFilePath()));
        }
    } catch (const QuenvaleError& e) {
        failure = e.message();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    m_progress.reset();
    QGuiApplication::restoreOverrideCursor();
    if (!failure.isNull())
        messages().information(m_grid->window(), QStringLiteral("导出Excel文件失败：") +
                                                     explainedFileFailure(failure));
}

void TDBGridEhToExcel::PrepareFields()
{
    Dataset* data = dataset();
    for (int i = 0; i < m_grid->columnCount(); ++i) {
        const QString name = m_grid->columnField(i);
        data->moveField(name, i); // throws naming a field the dataset lacks
        data->setDisplayLabel(name, m_grid->columnTitle(i));
        data->setFieldVisible(name, m_grid->isColumnVisible(i));
    }
    for (int f = 0; f < data->fieldCount(); ++f) {
        const FieldInfo& field = data->field(f);
        if (field.displayLabel.contains(kHiddenMark))
            data->setFieldVisible(field.name, false);
    }
}

void TDBGridEhToExcel::WriteSheet(QIODevice* stream)
{
    Dataset* data = dataset();
    // Rows and columns are 16-bit: refuse a sheet that cannot be addressed before any byte.
    int levels = 1;
    for (int c = 0; c < m_grid->columnCount(); ++c)
        levels = std::max(levels, static_cast<int>(m_grid->columnTitle(c).count(u'|')) + 1);
    const bool datesRow = !m_beginDate.trimmed().isEmpty() || !m_endDate.trimmed().isEmpty();
    const qint64 rows =
        2 + (datesRow ? 1 : 0) + levels + qint64(data->recordCount()) + m_grid->footerRowCount();
    if (rows > BiffWriter::kMaxRows)
        throw QuenvaleError(
            QStringLiteral("工作表最多%1行，本表需要%2行").arg(BiffWriter::kMaxRows).arg(rows));
    if (data->fieldCount() > BiffWriter::kMaxColumns)
        throw QuenvaleError(QStringLiteral("工作表最多%1列").arg(BiffWriter::kMaxColumns));

    BiffWriter writer(stream);
    m_stream = &writer;
    struct Release
    {
        BiffWriter*& stream;
        ~Release() { stream = nullptr; }
    } release{m_stream};
    m_col = 0;
    m_row = 0;
    writer.bof();
    writer.codePage();
    WriteHeader();
    WriteTitles();
    WriteData();
    WriteFooters();
    writer.eof();
}

void TDBGridEhToExcel::WriteHeader()
{
    m_stream->label(0, 3, m_titleName);
    m_row = 1;
    bool dates = false;
    if (!m_beginDate.trimmed().isEmpty()) {
        m_stream->label(m_row, 0, m_beginDate);
        dates = true;
    }
    if (!m_endDate.trimmed().isEmpty()) {
        m_stream->label(m_row, 5, m_endDate);
        dates = true;
    }
    if (dates)
        ++m_row;
    m_stream->label(m_row, 0, QStringLiteral("制表人：") + m_userName);
    m_stream->label(m_row, 5,
                    QStringLiteral("制表时间：") +
                        formats::dateTimeText(QDateTime::currentDateTime()));
    ++m_row;
    m_col = 0;
}

int TDBGridEhToExcel::sheetColumn(int gridColumn) const
{
    // Titles and footers stand above and below their own field's data, hidden columns or not.
    const int field = dataset()->fieldIndex(m_grid->columnField(gridColumn));
    return field >= 0 ? field : gridColumn;
}

void TDBGridEhToExcel::WriteTitles()
{
    TDBGridEhTitle title;
    title.setGrid(m_grid);
    TTitleCell cells;
    title.GetTitleCells(cells);
    for (int level = 0; level < title.TitleLevelCount; ++level) {
        for (int k = 0; k < title.VisibleColumnCount; ++k)
            m_stream->label(m_row, sheetColumn(title.VisibleColumns[k]), cells[k][level]);
        ++m_row;
    }
    m_col = 0;
}

void TDBGridEhToExcel::writeField(int index)
{
    Dataset* data = dataset();
    const FieldInfo& field = data->field(index);
    const QVariant value = data->value(index);
    if (value.isNull() || !field.visible) {
        m_stream->blank(m_row, m_col);
        return;
    }
    switch (field.type) {
    case FieldType::Integer:
        m_stream->integer(m_row, m_col, value.toLongLong());
        return;
    case FieldType::Float:
        if (value.typeId() == QMetaType::QString)
            break; // a text another program stored among the amounts, written as it is
        m_stream->number(m_row, m_col, value.toDouble());
        return;
    case FieldType::Memo:
        m_stream->label(m_row, m_col, QString());
        return;
    case FieldType::Date:
    case FieldType::Text:
        break;
    }
    QString text;
    if (value.typeId() == QMetaType::QDateTime)
        text = formats::dateTimeText(value.toDateTime());
    else if (value.typeId() == QMetaType::QDate)
        text = formats::dateText(value.toDate());
    else
        text = value.toString();
    m_stream->label(m_row, m_col, text);
}

void TDBGridEhToExcel::WriteData()
{
    Dataset* data = dataset();
    m_grid->setRedrawEnabled(false);
    m_savedPosition = data->bookmark();
    struct Restore
    {
        TDBGridEhToExcel* self;
        Dataset* data;
        ~Restore()
        {
            if (data->bookmarkValid(self->m_savedPosition))
                data->gotoBookmark(self->m_savedPosition);
            self->m_grid->setRedrawEnabled(true);
        }
    } restore{this, data};

    data->first();
    while (!data->eof()) {
        for (int f = 0; f < data->fieldCount(); ++f) {
            writeField(f);
            NextCell();
        }
        if (m_showProgress && m_progress)
            m_progress->setPosition(data->recNo());
        data->next();
    }
}

void TDBGridEhToExcel::WriteFooters()
{
    const int footerRows = m_grid->footerRowCount();
    if (footerRows == 0)
        return;
    m_col = 0;
    for (int c = 0; c < m_grid->columnCount(); ++c) {
        if (!m_grid->isColumnVisible(c))
            continue;
        const QStringList texts = m_grid->footerValueTexts(c);
        for (int r = 0; r < footerRows; ++r)
            m_stream->label(m_row + r, sheetColumn(c), texts.value(r));
    }
    m_col = 0;
}

void TDBGridEhToExcel::NextCell()
{
    if (m_col == dataset()->fieldCount() - 1) {
        ++m_row;
        m_col = 0;
    } else {
        ++m_col;
    }
}

void TDBGridEhToExcel::ShowProgressWindow()
{
    if (m_progress)
        return;
    m_progress = std::make_unique<ExportProgressWindow>(dataset()->recordCount());
    m_progress->show();
    m_progress->repaint();
}
