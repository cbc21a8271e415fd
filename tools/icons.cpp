// Writes the program's icon into an icon-theme tree: DIR/<n>x<n>/apps/quenvale.png.
#include "gui/icons.h"

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenvale_icons DIR\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = root.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString file = folder + QStringLiteral("/quenvale.png");
        if (!QDir().mkpath(folder) || !icons::programImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "quenvale_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
