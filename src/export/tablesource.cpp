#include "export/tablesource.h"

#include <QStringList>

namespace tables {

namespace {

QString unpadded(QString text)
{
    text.remove(u' ');
    return text;
}

} // namespace

QStringList flatTitles(const TableSource& table)
{
    QStringList lower;
    QStringList upper;
    for (int c = 0; c < table.columnCount(); ++c) {
        const QStringList levels = table.columnTitle(c).split(u'|');
        lower << unpadded(levels.constLast());
        upper << (levels.size() > 1 ? unpadded(levels.at(levels.size() - 2)) : QString());
    }
    QStringList titles;
    for (int c = 0; c < lower.size(); ++c)
        titles << (lower.count(lower.at(c)) > 1 ? upper.at(c) + lower.at(c) : lower.at(c));
    return titles;
}

int displayWidth(const QString& text)
{
    int width = 0;
    for (const char32_t ch : text.toUcs4()) {
        const bool wide = (ch >= 0x1100 && ch <= 0x115F) || (ch >= 0x2E80 && ch <= 0xA4CF) ||
                          (ch >= 0xAC00 && ch <= 0xD7A3) || (ch >= 0xF900 && ch <= 0xFAFF) ||
                          (ch >= 0xFE30 && ch <= 0xFE4F) || (ch >= 0xFF00 && ch <= 0xFF60) ||
                          (ch >= 0xFFE0 && ch <= 0xFFE6) || ch >= 0x20000;
        width += wide ? 2 : 1;
    }
    return width;
}

} // namespace tables
