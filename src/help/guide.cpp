#include "help/guide.h"

#include <QDir>
#include <QFileInfo>

#ifndef QUENVALE_GUIDE_FROM_BIN
#define QUENVALE_GUIDE_FROM_BIN "../share/doc/quenvale"
#endif

namespace guide {

QString fileName()
{
    return QStringLiteral("用户手册.md");
}

QStringList folders(const QString& programDir)
{
    QStringList found = {
        QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(QUENVALE_GUIDE_FROM_BIN)))};
#ifdef QUENVALE_SOURCE_DOCS
    found << QStringLiteral(QUENVALE_SOURCE_DOCS);
#endif
    return found;
}

QString locate(const QString& programDir)
{
    for (const QString& folder : folders(programDir)) {
        const QString path = QDir(folder).filePath(fileName());
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace guide
