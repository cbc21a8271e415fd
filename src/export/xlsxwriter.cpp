#include "export/xlsxwriter.h"

#include "data/errors.h"
#include "data/formats.h"
#include "export/tablesource.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace xlsx {

namespace {

constexpr int kTitleColumn = 3;
constexpr int kTimeColumn = 5;
constexpr int kMaxText = 32767; // characters in one cell

void check(lxw_error error)
{
    if (error != LXW_NO_ERROR)
        throw QuenvaleError(QString::fromUtf8(lxw_strerror(error)));
}

QByteArray utf8(const QString& text)
{
    return text.left(kMaxText).toUtf8();
}

QString numberText(double value, bool whole)
{
    return QLocale::c().toString(value, 'f', whole ? 0 : 2);
}

// The workbook and its formats; closing writes the file.
class Book
{
public:
    explicit Book(const QString& path)
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE; // a very large book must not fail at the end
        m_path = QFile::encodeName(path);
        m_book = workbook_new_opt(m_path.constData(), &options);
        if (!m_book)
            throw QuenvaleError(QStringLiteral("无法创建工作簿"));
    }
    ~Book()
    {
        if (m_book)
            workbook_close(m_book); // only after a failure: the temporary file is dropped
    }
    void close()
    {
        lxw_workbook* book = m_book;
        m_book = nullptr;
        check(workbook_close(book));
    }
    lxw_workbook* get() const { return m_book; }

    lxw_format* format(bool bold, const char* numberFormat = nullptr, int background = -1,
                       bool border = false, bool centre = false)
    {
        lxw_format* f = workbook_add_format(m_book);
        if (bold)
            format_set_bold(f);
        if (numberFormat)
            format_set_num_format(f, numberFormat);
        if (background >= 0) {
            format_set_pattern(f, LXW_PATTERN_SOLID);
            format_set_bg_color(f, static_cast<lxw_color_t>(background));
        }
        if (border)
            format_set_border(f, LXW_BORDER_THIN);
        if (centre)
            format_set_align(f, LXW_ALIGN_CENTER);
        return f;
    }

private:
    QByteArray m_path;
    lxw_workbook* m_book = nullptr;
};

void writeSheet(const TableSource& table, Book& book, const Heading& heading)
{
    const int columns = table.columnCount();
    const int rows = table.rowCount();
    int levels = 1;
    for (int c = 0; c < columns; ++c)
        levels = std::max(levels, static_cast<int>(table.columnTitle(c).count(u'|')) + 1);
    const int preparedRow = heading.subtitle.isEmpty() ? 1 : 2;
    const int titleRow = preparedRow + 1;
    const int firstDataRow = titleRow + levels;
    const qint64 needed = qint64(firstDataRow) + rows + (table.hasFooter() ? 1 : 0);
    if (needed > LXW_ROW_MAX)
        throw QuenvaleError(
            QStringLiteral("工作表最多%1行，本表需要%2行").arg(LXW_ROW_MAX).arg(needed));
    if (columns > LXW_COL_MAX)
        throw QuenvaleError(QStringLiteral("工作表最多%1列").arg(LXW_COL_MAX));

    const QByteArray sheetName = utf8(heading.sheetName.left(31));
    lxw_worksheet* sheet =
        workbook_add_worksheet(book.get(), sheetName.isEmpty() ? nullptr : sheetName.constData());
    if (!sheet)
        throw QuenvaleError(QStringLiteral("无法创建工作表"));

    lxw_format* titleFormat = book.format(true);
    format_set_font_size(titleFormat, 14);
    lxw_format* headFormat = book.format(true, nullptr, 0xA6CAF0, true, true);
    lxw_format* money = book.format(false, kMoneyFormat);
    lxw_format* date = book.format(false, "yyyy-mm-dd");
    lxw_format* boldText = book.format(true);
    lxw_format* boldMoney = book.format(true, kMoneyFormat);
    lxw_format* footText = book.format(true, nullptr, 0xFFC286, true);
    lxw_format* footMoney = book.format(true, kMoneyFormat, 0xFFC286, true);

    std::vector<int> widths(static_cast<size_t>(columns), 4);
    auto measure = [&widths](int column, int width) {
        int& w = widths[static_cast<size_t>(column)];
        w = std::max(w, width);
    };

    auto text = [&](int row, int column, const QString& value, lxw_format* format) {
        check(worksheet_write_string(sheet, static_cast<lxw_row_t>(row),
                                     static_cast<lxw_col_t>(column), utf8(value).constData(),
                                     format));
    };

    // The rows above the titles, as the .xls export writes them.
    text(0, kTitleColumn, heading.title, titleFormat);
    if (!heading.subtitle.isEmpty())
        text(1, 0, heading.subtitle, nullptr);
    text(preparedRow, 0, QStringLiteral("制表人：") + heading.userName, nullptr);
    text(preparedRow, kTimeColumn,
         QStringLiteral("制表时间：") + formats::dateTimeText(heading.preparedAt), nullptr);

    for (int level = 0; level < levels; ++level) {
        for (int c = 0; c < columns; ++c) {
            const QStringList parts = table.columnTitle(c).split(u'|');
            const QString part = parts.value(level);
            text(titleRow + level, c, part, headFormat);
            measure(c, tables::displayWidth(part));
        }
    }

    std::vector<double> sums(static_cast<size_t>(columns), 0.0);
    for (int r = 0; r < rows; ++r) {
        const auto row = static_cast<lxw_row_t>(firstDataRow + r);
        const bool total = table.isTotalRow(r);
        for (int c = 0; c < columns; ++c) {
            const QVariant value = table.value(r, c);
            if (value.isNull())
                continue;
            const auto col = static_cast<lxw_col_t>(c);
            switch (table.columnKind(c)) {
            case TableSource::Kind::Number:
            case TableSource::Kind::Integer: {
                if (value.typeId() == QMetaType::QString)
                    break; // a text another program stored among the amounts
                const bool whole = table.columnKind(c) == TableSource::Kind::Integer;
                const double number = value.toDouble();
                sums[static_cast<size_t>(c)] += number;
                lxw_format* format =
                    whole ? (total ? boldText : nullptr) : (total ? boldMoney : money);
                check(worksheet_write_number(sheet, row, col, number, format));
                measure(c, static_cast<int>(numberText(number, whole).size()));
                continue;
            }
            case TableSource::Kind::Date: {
                const QDate day = value.typeId() == QMetaType::QDate
                                      ? value.toDate()
                                      : QDate::fromString(value.toString(), Qt::ISODate);
                if (day.isValid()) {
                    lxw_datetime moment{day.year(), day.month(), day.day(), 0, 0, 0};
                    check(worksheet_write_datetime(sheet, row, col, &moment, date));
                    measure(c, 10);
                    continue;
                }
                break;
            }
            case TableSource::Kind::Text:
                break;
            }
            const QString content = value.toString();
            text(firstDataRow + r, c, content, total ? boldText : nullptr);
            measure(c, tables::displayWidth(content));
        }
    }

    if (table.hasFooter()) {
        const int footerRow = firstDataRow + rows;
        for (int c = 0; c < columns; ++c) {
            const auto col = static_cast<lxw_col_t>(c);
            if (table.footerSums(c)) {
                const bool whole = table.columnKind(c) == TableSource::Kind::Integer;
                lxw_format* format = whole ? footText : footMoney;
                const double sum = sums[static_cast<size_t>(c)];
                if (rows == 0) {
                    check(worksheet_write_number(sheet, footerRow, col, 0, format));
                } else {
                    char range[LXW_MAX_CELL_RANGE_LENGTH];
                    lxw_rowcol_to_range(range, firstDataRow, col, footerRow - 1, col);
                    const QByteArray formula = "=SUM(" + QByteArray(range) + ')';
                    check(worksheet_write_formula_num(sheet, footerRow, col, formula.constData(),
                                                      format, sum));
                }
                measure(c, static_cast<int>(numberText(sum, whole).size()));
            } else {
                // A long static text (the balance line) runs on over its neighbours.
                text(footerRow, c, table.footerText(c), footText);
            }
        }
    }

    for (int c = 0; c < columns; ++c)
        check(worksheet_set_column(sheet, c, c, std::clamp(widths[size_t(c)] + 2, 6, 60), nullptr));
    worksheet_freeze_panes(sheet, static_cast<lxw_row_t>(firstDataRow), 0);
    check(worksheet_repeat_rows(sheet, static_cast<lxw_row_t>(titleRow),
                                static_cast<lxw_row_t>(firstDataRow - 1)));
    worksheet_set_landscape(sheet);
}

} // namespace

void writeFile(const TableSource& table, const QString& path, const Heading& heading)
{
    const QFileInfo target(path);
    if (target.isDir())
        throw QuenvaleError(QStringLiteral("%1 是一个文件夹").arg(path));
    // Written beside the target and renamed into place only when complete.
    QTemporaryFile part(target.absolutePath() + u'/' + target.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    if (!part.open())
        throw QuenvaleError(part.errorString());
    const QString partName = part.fileName();
    part.close();
    {
        Book book(partName);
        writeSheet(table, book, heading);
        book.close();
    }
    if (std::rename(QFile::encodeName(partName).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        throw QuenvaleError(QStringLiteral("无法写入%1").arg(path));
    part.setAutoRemove(false);
}

} // namespace xlsx
