#include "bills/billfile.h"

#include "bills/xlsxreader.h"
#include "bills/zipreader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace bills {

namespace {

bool isZip(const QByteArray& bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

bool hasTableRows(const Table& table)
{
    for (const TableRow& row : table) {
        int filled = 0;
        for (const QString& cell : row.cells)
            if (!cell.trimmed().isEmpty() && ++filled == 2)
                return true;
    }
    return false;
}

// The bill inside a zip: the first .csv or .xlsx that is not a folder or a Mac resource.
QString billEntry(const ZipReader& archive)
{
    const QStringList names = archive.names();
    for (const QString& suffix : {QStringLiteral(".csv"), QStringLiteral(".xlsx")})
        for (const QString& name : names)
            if (name.endsWith(suffix, Qt::CaseInsensitive) &&
                !name.startsWith(QStringLiteral("__MACOSX/")))
                return name;
    return {};
}

} // namespace

QString unrecognizedMessage(const QString& path)
{
    return QStringLiteral("无法识别的账单文件：%1").arg(QFileInfo(path).fileName());
}

QString guessEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("UTF-8");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QStringLiteral("GBK") : QStringLiteral("UTF-8");
}

Table parseCsv(QStringView text)
{
    Table table;
    TableRow row{1, {}};
    QString cell;
    int line = 1;
    bool quoted = false;
    bool cellStarted = false;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    cell += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n')
                    ++line;
                cell += c;
            }
        } else if (c == u'"' && cell.isEmpty()) {
            quoted = true;
            cellStarted = true;
        } else if (c == u',') {
            row.cells.append(cell);
            cell.clear();
            cellStarted = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            if (cellStarted || !cell.isEmpty())
                row.cells.append(cell);
            table.append(row);
            cell.clear();
            cellStarted = false;
            row = TableRow{++line, {}};
        } else {
            cell += c;
        }
    }
    if (cellStarted || !cell.isEmpty()) {
        row.cells.append(cell);
        table.append(row);
    }
    return table;
}

Table decodeCsv(const QByteArray& bytes, const QString& encoding)
{
    if (bytes.contains('\0'))
        throw BillError(QStringLiteral("文件含有二进制内容，不是文本。"));
    QStringDecoder decoder(encoding == u"GBK" ? "GBK" : "UTF-8");
    if (!decoder.isValid())
        throw BillError(QStringLiteral("无法按 %1 读取文本。").arg(encoding));
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw BillError(QStringLiteral("文件不是 %1 编码的文本。").arg(encoding));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    qsizetype control = 0;
    for (QChar c : std::as_const(text))
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            ++control;
    if (control > text.size() / 100)
        throw BillError(QStringLiteral("文件含有二进制内容，不是文本。"));
    return parseCsv(text);
}

BillFile readBillFile(const QString& path, const QString& password)
{
    QFile file(path);
    const QFileInfo info(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        throw BillError(
            QStringLiteral("无法打开账单文件：%1（%2）").arg(info.fileName(), file.errorString()));
    // Checked before anything is read, so a huge file never reaches memory.
    if (info.size() >= kMaxBillBytes)
        throw BillError(
            QStringLiteral("账单文件太大（%1 MB），无法导入：%2。请导出较短时间段的账单。")
                .arg(info.size() / (1024 * 1024))
                .arg(info.fileName()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw BillError(
            QStringLiteral("无法读取账单文件：%1（%2）").arg(info.fileName(), file.errorString()));

    BillFile bill;
    bill.path = path;
    try {
        if (isZip(bytes)) {
            const ZipReader archive(bytes);
            if (archive.contains(QStringLiteral("xl/workbook.xml"))) {
                bill.table = readXlsx(archive);
            } else {
                const QString entry = billEntry(archive);
                if (entry.isEmpty())
                    throw BillError(QStringLiteral("压缩文件中没有账单。"));
                bill.encrypted = archive.isEncrypted(entry);
                QByteArray inner = archive.read(entry, password);
                if (isZip(inner)) {
                    bill.table = readXlsx(ZipReader(inner));
                } else {
                    bill.encoding = guessEncoding(inner);
                    bill.table = decodeCsv(inner, bill.encoding);
                    bill.csvBytes = std::move(inner);
                }
            }
        } else {
            bill.encoding = guessEncoding(bytes);
            bill.table = decodeCsv(bytes, bill.encoding);
            bill.csvBytes = std::move(bytes);
        }
    } catch (const BillPasswordError&) {
        throw;
    } catch (const BillError& e) {
        throw BillError(unrecognizedMessage(path) + u'\n' + e.message());
    }
    if (!hasTableRows(bill.table))
        throw BillError(unrecognizedMessage(path));
    return bill;
}

} // namespace bills
