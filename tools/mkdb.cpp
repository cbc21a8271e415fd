// Creates a fresh book: the three tables and the administrator.
#include "data/schema.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool ifMissing = args.removeAll(QStringLiteral("--if-missing")) > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quenvale_mkdb [--if-missing] PATH\n");
        return 2;
    }
    const QString path = args.constFirst();
    if (ifMissing && QFile::exists(path))
        return 0;
    try {
        schema::createFile(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quenvale_mkdb: %s\n", e.what());
        QFile::remove(path);
        return 1;
    }
    return 0;
}
