// The history's values as stored (JSON) and as people read them.
#include "data/formats.h"
#include "data/history.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLocale>

#include <cmath>

namespace history {

namespace {

struct Title
{
    const char16_t* table;
    const char16_t* column;
    const char16_t* title;
};

const Title kTitles[] = {
    {u"data", u"a", u"收支类别"},          {u"data", u"day1", u"日期"},
    {u"data", u"b", u"项目摘要"},          {u"data", u"c", u"单位名称"},
    {u"data", u"1", u"收入合计"},          {u"data", u"2", u"已收金额"},
    {u"data", u"3", u"应收账款"},          {u"data", u"4", u"支出合计"},
    {u"data", u"5", u"已付金额"},          {u"data", u"6", u"应付账款"},
    {u"userdb", u"username", u"用户名称"},
};

struct KindName
{
    Kind kind;
    const char* text;
};

const KindName kKinds[] = {
    {Kind::Added, "added"}, {Kind::Changed, "changed"}, {Kind::Removed, "removed"},
    {Kind::Rows, "rows"},   {Kind::Purged, "purged"},   {Kind::Book, "book"},
};

// A JSON string: quotes, backslashes and control characters escaped.
void appendText(QString& json, const QString& text)
{
    json += u'"';
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'"' || c == u'\\') {
            json += u'\\';
            json += ch;
        } else if (c < 0x20) {
            json += QStringLiteral("\\u%1").arg(int(c), 4, 16, QChar(u'0'));
        } else {
            json += ch;
        }
    }
    json += u'"';
}

bool isAmount(const QString& column)
{
    return column.size() == 1 && column[0] >= u'1' && column[0] <= u'6';
}

} // namespace

QString toJson(const Values& values)
{
    // Written by hand: it runs with every write the program makes, and Qt's JSON document is
    // slower than the rest of the append. Read back with QJsonDocument.
    QString json;
    json.reserve(32 + 48 * values.size());
    json += u'[';
    for (const auto& [column, value] : values) {
        if (json.size() > 1)
            json += u',';
        json += u'[';
        appendText(json, column);
        json += u',';
        const int type = value.typeId();
        if (value.isNull())
            json += QStringLiteral("null");
        else if (type == QMetaType::QDate)
            appendText(json, formats::dateText(value.toDate()));
        else if (type == QMetaType::Double || type == QMetaType::Float)
            json += std::isfinite(value.toDouble())
                        ? QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
                        : QStringLiteral("null");
        else if (type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt ||
                 type == QMetaType::ULongLong)
            json += QString::number(value.toLongLong());
        else if (type == QMetaType::Bool)
            json += value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        else
            appendText(json, value.toString());
        json += u']';
    }
    json += u']';
    return json;
}

Values fromJson(const QString& text)
{
    Values values;
    const QJsonArray pairs = QJsonDocument::fromJson(text.toUtf8()).array();
    for (const QJsonValue& pair : pairs) {
        const QJsonArray p = pair.toArray();
        if (p.size() == 2)
            values.append({p.at(0).toString(), p.at(1).toVariant()});
    }
    return values;
}

QString kindText(Kind kind)
{
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return QString::fromLatin1(k.text);
    return QStringLiteral("rows");
}

Kind kindFromText(const QString& text)
{
    for (const KindName& k : kKinds)
        if (text == QLatin1String(k.text))
            return k.kind;
    return Kind::Rows;
}

QString tableName(const QString& table)
{
    if (table == u"data")
        return QStringLiteral("记录");
    if (table == u"userdb")
        return QStringLiteral("用户");
    if (table == u"rz")
        return QStringLiteral("登录日志");
    if (table.isEmpty())
        return QStringLiteral("账本");
    return table;
}

QString columnTitle(const QString& table, const QString& column)
{
    for (const Title& t : kTitles)
        if (table == QStringView(t.table) && column == QStringView(t.column))
            return QString::fromUtf16(t.title);
    return column;
}

QString valueText(const QString& column, const QVariant& value)
{
    if (value.isNull())
        return QString();
    const int type = value.typeId();
    if (type == QMetaType::Double || type == QMetaType::LongLong || type == QMetaType::Int) {
        if (isAmount(column))
            return formats::twoDecimals(value.toDouble());
        return type == QMetaType::Double ? formats::general(value.toDouble()) : value.toString();
    }
    return value.toString();
}

QString describe(const QString& table, const Values& values)
{
    QStringList parts;
    for (const auto& [column, value] : values) {
        if (table == u"data" && column == u"o")
            continue; // the marker every record carries
        parts << columnTitle(table, column) + u'：' + valueText(column, value);
    }
    return parts.join(u'；');
}

} // namespace history
