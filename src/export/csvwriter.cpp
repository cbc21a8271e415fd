#include "export/csvwriter.h"

#include "data/errors.h"
#include "data/formats.h"
#include "export/tablesource.h"

#include <QDate>
#include <QIODevice>
#include <QRegularExpression>
#include <QSaveFile>

namespace csv {

namespace {

bool isPlainNumber(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return number.match(text).hasMatch();
}

QString cellText(const TableSource& table, int row, int column)
{
    const QVariant value = table.value(row, column);
    if (value.isNull())
        return {};
    switch (table.columnKind(column)) {
    case TableSource::Kind::Number:
    case TableSource::Kind::Integer:
        // A number column holds numbers only: written plainly, never neutralised.
        if (value.canConvert<double>() && value.typeId() != QMetaType::QString)
            return formats::general(value.toDouble());
        break;
    case TableSource::Kind::Date:
        if (value.typeId() == QMetaType::QDate)
            return formats::dateText(value.toDate());
        break;
    case TableSource::Kind::Text:
        break;
    }
    return neutralised(value.toString());
}

} // namespace

QString neutralised(const QString& text)
{
    if (text.isEmpty())
        return text;
    const QChar first = text.front();
    const bool risky = first == u'=' || first == u'+' || first == u'-' || first == u'@' ||
                       first == u'\t' || first == u'\r';
    if (!risky || isPlainNumber(text))
        return text;
    return u'\'' + text;
}

QString quoted(const QString& field)
{
    if (!field.contains(u'"') && !field.contains(u',') && !field.contains(u'\n') &&
        !field.contains(u'\r'))
        return field;
    QString inner = field;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

void write(const TableSource& table, QIODevice* out)
{
    auto line = [out](const QStringList& fields) {
        QString text;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += u',';
            text += quoted(fields[i]);
        }
        text += QStringLiteral("\r\n");
        const QByteArray bytes = text.toUtf8();
        if (out->write(bytes) != bytes.size())
            throw QuenvaleError(out->errorString());
    };
    if (out->write("\xEF\xBB\xBF", 3) != 3)
        throw QuenvaleError(out->errorString());
    QStringList header;
    for (const QString& title : tables::flatTitles(table))
        header << neutralised(title);
    line(header);
    const int columns = table.columnCount();
    const int rows = table.rowCount();
    QStringList fields;
    for (int row = 0; row < rows; ++row) {
        fields.clear();
        for (int column = 0; column < columns; ++column)
            fields << cellText(table, row, column);
        line(fields);
    }
}

void writeFile(const TableSource& table, const QString& path)
{
    // Renamed into place only when complete: a failure leaves an old file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw QuenvaleError(file.errorString());
    write(table, &file);
    if (!file.commit())
        throw QuenvaleError(file.errorString());
}

} // namespace csv
