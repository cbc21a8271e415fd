// A stand-in operator for the durability tests: adds records through the insert cursor one
// acknowledged record at a time, as the entry panel does, and logs in and out through the
// login log, as the login window does.
//
//   quenvale_testdriver add FOLDER TAG COUNT
//
// FOLDER holds data.mdb, or is a server book's connection string.
// Prints "LOGIN <id>", then "ACK <key> <n>" once record n is stored, then "LOGOUT" and
// "DONE". A failure prints "ERROR <text>" (as the command guard would show it) and exits 1.
#include "data/dm.h"
#include "data/errors.h"
#include "data/loginlog.h"
#include "data/server.h"
#include "recordvalues.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <cstdio>

namespace {

void line(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 || args.at(1) != u"add") {
        std::fprintf(stderr, "usage: quenvale_testdriver add FOLDER TAG COUNT\n");
        return 2;
    }
    const bool onServer = server::isServerBook(args.at(2));
    if (!onServer)
        QDir::setCurrent(args.at(2));
    const QString tag = args.at(3);
    const int count = args.at(4).toInt();

    // Errors are printed as the command guard would show them.
    bool ok = true;
    try {
        Tdmfm dm(onServer ? args.at(2) : QStringLiteral("data.mdb"));
        dm.ADOTable5->openForAppend();
        const qint64 logId = loginlog::open(dm.ADOQuery1, tag, QDateTime::currentDateTime());
        line(QStringLiteral("LOGIN %1").arg(logId));
        for (int n = 0; n < count; ++n) {
            const RecordValues r = RecordValues::forNumber(tag, n);
            Dataset* t = dm.ADOTable5;
            // A copy writing without a pause can find the book locked by the other for longer
            // than the wait; the refusal stores nothing and the operator tries again.
            for (int attempt = 1;; ++attempt) {
                t->append();
                try {
                    for (const auto& [column, value] : r.columnValues())
                        t->setValue(column, value);
                    t->post();
                    break;
                } catch (const DatabaseError& e) {
                    t->cancel();
                    if (attempt == 5 || !e.message().contains(u"database is locked"))
                        throw;
                    line(QStringLiteral("BUSY %1").arg(n));
                } catch (...) {
                    t->cancel();
                    throw;
                }
            }
            line(QStringLiteral("ACK %1 %2").arg(t->key()).arg(n));
        }
        loginlog::close(dm.ADOQuery1, logId, QDateTime::currentDateTime());
        line(QStringLiteral("LOGOUT"));
    } catch (const QuenvaleError& e) {
        line(QStringLiteral("ERROR ") + explainedFailure(e.message()));
        ok = false;
    } catch (const std::exception& e) {
        line(QStringLiteral("ERROR ") + explainedFailure(QString::fromUtf8(e.what())));
        ok = false;
    }
    line(ok ? QStringLiteral("DONE") : QStringLiteral("FAILED"));
    return ok ? 0 : 1;
}
