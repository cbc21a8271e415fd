// Creates a fresh book: the three tables and the administrator, in a local file or in an empty
// database on a PostgreSQL server.
#include "data/errors.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "maintenance/bookcopy.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int usage(std::FILE* to = stderr)
{
    std::fprintf(to, "usage: quenvale_mkdb [--if-missing] PATH\n"
                     "       quenvale_mkdb --server CONNINFO\n"
                     "       quenvale_mkdb --copy FROM TO   (a local book to a server or back)\n"
                     "See man quenvale_mkdb.\n");
    return to == stderr ? 2 : 0;
}

int createOnServer(const QString& book)
{
    try {
        sql::ScopedConnection conn(book);
        server::createSchema(conn.db());
    } catch (const QuenvaleError& e) {
        std::fprintf(stderr, "quenvale_mkdb: %s: %s\n",
                     server::displayName(book).toLocal8Bit().constData(),
                     e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args.constFirst() == u"--help" || args.constFirst() == u"-h"))
        return usage(stdout);
    if (args.size() == 3 && args.constFirst() == u"--copy") {
        try {
            bookcopy::copyBook(args.at(1), args.at(2));
        } catch (const QuenvaleError& e) {
            std::fprintf(stderr, "quenvale_mkdb: %s\n", e.message().toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    if (args.size() == 2 && args.constFirst() == u"--server")
        return server::isServerBook(args.at(1)) ? createOnServer(args.at(1)) : usage();
    const bool ifMissing = args.removeAll(QStringLiteral("--if-missing")) > 0;
    if (args.size() != 1)
        return usage();
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
