// A second running copy for the backup tests.
//   quenvale_bookdriver restore BACKUP BOOK   runs one restore, printing "AT <n>" at each step
//                                             and waiting for a line on stdin; "DONE" at the end.
//   quenvale_bookdriver add BOOK              adds a record every few milliseconds, as a quick
//                                             operator would, printing "ACK <n>" for each.
// A failure prints "ERROR <text>".
#include "data/sql.h"
#include "maintenance/bookcopy.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void restore(const QString& backup, const QString& book)
{
    int point = 0;
    const bookcopy::Progress pause = [&point](qint64, qint64 total) {
        if (total == 0)
            return true;
        std::printf("AT %d\n", ++point);
        std::fflush(stdout);
        std::string line;
        return bool(std::getline(std::cin, line));
    };
    bookcopy::Restore restore(backup, book);
    restore.check(pause);
    restore.replace(pause);
}

void add(const QString& book)
{
    sql::ScopedConnection conn(book);
    for (int n = 0;; ++n) {
        sql::exec(conn.db(), QStringLiteral("insert into data (a,day1,b,o) values (?,?,?,'1')"),
                  {QStringLiteral("收入"), QStringLiteral("2024-03-02"),
                   QStringLiteral("writer-%1").arg(n)});
        std::printf("ACK %d\n", n);
        std::fflush(stdout);
        QThread::msleep(5);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args.at(1) == u"restore")
            restore(args.at(2), args.at(3));
        else if (args.size() == 3 && args.at(1) == u"add")
            add(args.at(2));
        else
            return 2;
    } catch (const QuenvaleError& e) {
        std::printf("ERROR %s\n", e.what());
        return 1;
    }
    std::printf("DONE\n");
    return 0;
}
