// A stand-in operator for the durability tests: adds records through the insert cursor one
// acknowledged record at a time, as the entry panel does, and logs in and out through the
// login log, as the login window does.
//
//   quenvale_testdriver add FOLDER TAG COUNT
//
// FOLDER holds data.mdb, or is a server book's connection string.
// Prints "LOGIN <id>", then "ACK <key> <n>" once record n is stored, then "LOGOUT" and
// "DONE". A failure prints "ERROR <text>" (as the command guard would show it) and exits 1.
#include "app/commandguard.h"
#include "app/messages.h"
#include "data/dm.h"
#include "data/loginlog.h"
#include "data/server.h"
#include "recordvalues.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>

#include <cstdio>

namespace {

// Errors end up here instead of a box.
class PrintedMessages final : public MessageService
{
public:
    void warning(QWidget*, const QString& text) override { print("WARNING", text); }
    void information(QWidget*, const QString& text) override { print("INFO", text); }
    void critical(QWidget*, const QString& text) override { print("ERROR", text); }
    bool question(QWidget*, const QString&, const QString&) override { return true; }
    bool yesNo(QWidget*, const QString&, const QString&, bool) override { return true; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }

private:
    static void print(const char* kind, const QString& text)
    {
        std::printf("%s %s\n", kind, text.toUtf8().constData());
        std::fflush(stdout);
    }
};

void line(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    PrintedMessages printed;
    setMessageService(&printed);
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

    bool ok = guarded(nullptr, [&] {
        Tdmfm dm(onServer ? args.at(2) : QStringLiteral("data.mdb"));
        dm.ADOTable5->openForAppend();
        const qint64 logId = loginlog::open(dm.ADOQuery1, tag, QDateTime::currentDateTime());
        line(QStringLiteral("LOGIN %1").arg(logId));
        for (int n = 0; n < count; ++n) {
            const RecordValues r = RecordValues::forNumber(tag, n);
            Dataset* t = dm.ADOTable5;
            t->append();
            try {
                t->setValue(QStringLiteral("a"), r.kind);
                t->setValue(QStringLiteral("b"), r.summary);
                t->setValue(QStringLiteral("c"), r.counterparty);
                t->setValue(QStringLiteral("1"), r.amounts[0]);
                t->setValue(QStringLiteral("2"), r.amounts[1]);
                t->setValue(QStringLiteral("3"), r.amounts[2]);
                t->setValue(QStringLiteral("4"), r.amounts[3]);
                t->setValue(QStringLiteral("5"), r.amounts[4]);
                t->setValue(QStringLiteral("6"), r.amounts[5]);
                t->setValue(QStringLiteral("day1"), r.day);
                t->setValue(QStringLiteral("o"), QStringLiteral("1"));
                t->post();
            } catch (...) {
                t->cancel();
                throw;
            }
            line(QStringLiteral("ACK %1 %2").arg(t->key()).arg(n));
        }
        loginlog::close(dm.ADOQuery1, logId, QDateTime::currentDateTime());
        line(QStringLiteral("LOGOUT"));
    });
    line(ok ? QStringLiteral("DONE") : QStringLiteral("FAILED"));
    return ok ? 0 : 1;
}
