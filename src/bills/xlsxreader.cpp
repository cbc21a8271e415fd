#include "bills/xlsxreader.h"

#include "bills/zipreader.h"

#include <QXmlStreamReader>

namespace bills {

namespace {

// The text of a <si> or <is>: its <t> runs, leaving out phonetic hints (<rPh>).
QString runText(QXmlStreamReader& xml)
{
    const QString end = xml.name().toString();
    QString text;
    int phonetic = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"rPh")
                ++phonetic;
            else if (xml.name() == u"t" && phonetic == 0)
                text += xml.readElementText();
        } else if (xml.isEndElement()) {
            if (xml.name() == u"rPh")
                --phonetic;
            else if (xml.name() == end)
                break;
        }
    }
    return text;
}

QStringList sharedStrings(const ZipReader& archive)
{
    QStringList strings;
    const QString name = QStringLiteral("xl/sharedStrings.xml");
    if (!archive.contains(name))
        return strings;
    QXmlStreamReader xml(archive.read(name));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
            strings.append(runText(xml));
    }
    if (xml.hasError())
        throw BillError(QStringLiteral("工作簿的共享字符串已损坏：%1").arg(xml.errorString()));
    return strings;
}

// Where the first sheet of the workbook lives, following workbook.xml and its relations.
QString firstSheet(const ZipReader& archive)
{
    QString id;
    {
        QXmlStreamReader xml(archive.read(QStringLiteral("xl/workbook.xml")));
        while (!xml.atEnd() && id.isEmpty()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"sheet") {
                for (const auto& attribute : xml.attributes())
                    if (attribute.name() == u"id")
                        id = attribute.value().toString();
            }
        }
    }
    const QString rels = QStringLiteral("xl/_rels/workbook.xml.rels");
    if (!id.isEmpty() && archive.contains(rels)) {
        QXmlStreamReader xml(archive.read(rels));
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Relationship" &&
                xml.attributes().value(QLatin1StringView("Id")) == id) {
                QString target = xml.attributes().value(QLatin1StringView("Target")).toString();
                if (target.startsWith(u'/'))
                    return target.mid(1);
                return QStringLiteral("xl/") + target;
            }
        }
    }
    return QStringLiteral("xl/worksheets/sheet1.xml");
}

// "F19" → 5 (column F); -1 without letters.
int columnOf(QStringView reference)
{
    int column = 0;
    int letters = 0;
    for (QChar c : reference) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
        ++letters;
    }
    return letters == 0 || column > 16384 ? -1 : column - 1;
}

QString numberText(const QString& value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? QString::number(number, 'g', 15) : value;
}

} // namespace

Table readXlsx(const ZipReader& archive)
{
    if (!archive.contains(QStringLiteral("xl/workbook.xml")))
        throw BillError(QStringLiteral("压缩文件不是 Excel 工作簿。"));
    const QStringList strings = sharedStrings(archive);
    QXmlStreamReader xml(archive.read(firstSheet(archive)));
    Table table;
    TableRow row;
    int nextRow = 1;
    int nextColumn = 0;
    QString type;
    QString value;
    int column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"row") {
                const QStringView r = xml.attributes().value(QLatin1StringView("r"));
                row = TableRow{r.isEmpty() ? nextRow : r.toInt(), {}};
                nextRow = row.line + 1;
                nextColumn = 0;
            } else if (xml.name() == u"c") {
                const QStringView r = xml.attributes().value(QLatin1StringView("r"));
                column = r.isEmpty() ? nextColumn : columnOf(r);
                if (column < 0)
                    column = nextColumn;
                type = xml.attributes().value(QLatin1StringView("t")).toString();
                value.clear();
            } else if (xml.name() == u"v") {
                value = xml.readElementText();
            } else if (xml.name() == u"is") {
                value = runText(xml);
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == u"c") {
                QString text;
                if (type == u"s") {
                    bool ok = false;
                    const int index = value.toInt(&ok);
                    if (!ok || index < 0 || index >= strings.size())
                        throw BillError(QStringLiteral("工作簿的单元格引用了不存在的字符串。"));
                    text = strings.at(index);
                } else if (type.isEmpty() || type == u"n") {
                    text = numberText(value);
                } else {
                    text = value; // inlineStr, str (a formula's text), b, e
                }
                while (row.cells.size() < column)
                    row.cells.append(QString());
                if (row.cells.size() == column)
                    row.cells.append(text);
                else
                    row.cells[column] = text;
                nextColumn = column + 1;
            } else if (xml.name() == u"row") {
                if (!row.cells.isEmpty())
                    table.append(row);
            }
        }
    }
    if (xml.hasError())
        throw BillError(QStringLiteral("工作表已损坏：%1").arg(xml.errorString()));
    return table;
}

} // namespace bills
