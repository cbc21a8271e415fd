// A second running copy for the backup tests.
//   quenvale_bookdriver restore BACKUP BOOK: one restore that prints "AT <n>" at each step and
//     goes on only after a line on stdin;
//   quenvale_bookdriver autobackup BOOK: one automatic backup, paused in the same way;
//   quenvale_bookdriver add BOOK: adds a record every few milliseconds, printing "ACK <n>".
// A failure prints "ERROR <text>".
#include "data/sql.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <iostream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if ((args.size() == 4 && args.at(1) == u"restore") || args.value(1) == u"autobackup") {
            int point = 0;
            const bookcopy::Progress pause = [&point](qint64, qint64 total) {
                if (total == 0)
                    return true;
                std::printf("AT %d\n", ++point);
                std::fflush(stdout);
                std::string line;
                return bool(std::getline(std::cin, line));
            };
            if (args.at(1) == u"autobackup")
                return autobackup::take(args.at(2), pause).isEmpty();
            bookcopy::Restore restore(args.at(2), args.at(3));
            restore.check(pause);
            restore.replace(pause);
        } else if (args.size() == 3 && args.at(1) == u"add") {
            sql::ScopedConnection conn(args.at(2));
            for (int n = 0;; ++n) {
                sql::exec(conn.db(), QStringLiteral("insert into data (a,b,o) values (?,?,'1')"),
                          {QStringLiteral("收入"), QStringLiteral("writer-%1").arg(n)});
                std::printf("ACK %d\n", n);
                std::fflush(stdout);
                QThread::msleep(5);
            }
        }
    } catch (const QuenvaleError& e) {
        std::printf("ERROR %s\n", e.what());
        return 1;
    }
    return 0;
}
