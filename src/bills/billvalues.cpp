#include "bills/billvalues.h"

#include <QCryptographicHash>
#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace bills {

QString cleanCell(const QString& cell)
{
    QString text = cell.trimmed();
    if (text.startsWith(QStringLiteral("=\"")) && text.endsWith(u'"') && text.size() >= 3)
        text = text.mid(2, text.size() - 3).trimmed();
    if (text == u"/")
        return {};
    return text;
}

std::optional<qint64> parseCents(const QString& text)
{
    QString t = cleanCell(text);
    t.remove(QChar(0x00A5)).remove(QChar(0xFFE5)).remove(u',').remove(u' ');
    t.remove(QStringLiteral("元")).remove(QStringLiteral("RMB")).remove(QStringLiteral("CNY"));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!number.match(t).hasMatch())
        return std::nullopt;
    const double value = t.toDouble();
    if (!std::isfinite(value) || std::fabs(value) >= 1e12)
        return std::nullopt;
    return std::llround(value * 100);
}

QString parseDate(const QString& text)
{
    const QString t = cleanCell(text);
    static const QRegularExpression separated(QStringLiteral(
        "^(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})\\s*日?(?:[\\sT].*)?$"));
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})(?:\\s.*)?$"));
    static const QRegularExpression serial(QStringLiteral("^(\\d{5})(\\.\\d+)?$"));
    QDate date;
    if (const auto m = separated.match(t); m.hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    else if (const auto c = compact.match(t); c.hasMatch())
        date = QDate(c.captured(1).toInt(), c.captured(2).toInt(), c.captured(3).toInt());
    else if (const auto s = serial.match(t); s.hasMatch())
        date = QDate(1899, 12, 30).addDays(s.captured(1).toInt()); // a worksheet's day number
    if (!date.isValid() || date.year() < 1900 || date.year() > 9999)
        return {};
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString headerKey(const QString& name)
{
    QString key = cleanCell(name);
    key.remove(QChar(0xFEFF)).remove(u' ').remove(u'\t');
    key.replace(QChar(0xFF08), u'(').replace(QChar(0xFF09), u')');
    return key;
}

void numberRowsWithout(QList<BillRow>& rows)
{
    QHash<QString, int> seen;
    for (BillRow& row : rows) {
        if (!row.orderNo.isEmpty() || !row.amountValid || row.date.isEmpty())
            continue;
        const QString content = QStringList{row.date,          row.time.section(u' ', 1).trimmed(),
                                            row.directionText, QString::number(row.cents),
                                            row.counterparty,  row.summary()}
                                    .join(QChar(0x1F));
        const QByteArray hash =
            QCryptographicHash::hash(content.toUtf8(), QCryptographicHash::Sha1).toHex();
        row.orderNo =
            u'#' + QString::fromLatin1(hash.left(20)) + u'-' + QString::number(++seen[content]);
    }
}

} // namespace bills
