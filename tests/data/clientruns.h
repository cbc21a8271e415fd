#pragma once

// Running several client drivers (quenvale_clientdriver) on one book and judging the outcome:
// shared by the many-clients test and the benchmark.
#include "data/sql.h"
#include "recordvalues.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace clientruns {

struct Run
{
    QString tag;
    std::map<qint64, int> live; // key -> record number, as acknowledged last
    std::vector<qint64> added;
    std::vector<qint64> micros; // each acknowledged write's time to the listing taken in
    QStringList errors;
    QString listing;
    QString book;
    bool stopped = false;
    int exitCode = -1;
};

inline void readLines(QProcess& process, Run& run)
{
    while (process.canReadLine()) {
        const QString text = QString::fromUtf8(process.readLine()).trimmed();
        const QStringList parts = text.split(u' ');
        const QString word = parts.value(0);
        const qint64 key = parts.value(1).toLongLong();
        if (word == u"ADD" || word == u"MOD") {
            run.live[key] = parts.value(2).toInt();
            if (word == u"ADD")
                run.added.push_back(key);
            run.micros.push_back(parts.value(3).toLongLong());
        } else if (word == u"DEL") {
            run.live.erase(key);
            run.micros.push_back(parts.value(2).toLongLong());
        } else if (word == u"ERROR") {
            run.errors << text;
        } else if (word == u"STOPPED") {
            run.stopped = true;
        } else if (word == u"LISTING") {
            run.listing = text.mid(8);
        } else if (word == u"BOOK") {
            run.book = text.mid(5);
        }
    }
}

// Starts clients PC0…PC(n-1) writing for seconds, lets them finish and compare; false when one
// did not finish in time.
inline bool runClients(const QString& driver, const QString& book, int clients, int seconds,
                       std::vector<Run>& runs)
{
    runs.assign(static_cast<size_t>(clients), Run());
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < clients; ++i) {
        runs[i].tag = QStringLiteral("PC%1").arg(i);
        auto& p = processes.emplace_back(std::make_unique<QProcess>());
        p->setProgram(driver);
        p->setArguments({book, runs[i].tag, QString::number(seconds), QString::number(17 + i)});
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start();
        if (!p->waitForStarted())
            return false;
    }
    QElapsedTimer waited;
    waited.start();
    for (int i = 0; i < clients; ++i) {
        while (!runs[i].stopped && processes[i]->state() == QProcess::Running &&
               waited.elapsed() < seconds * 1000 + 120000) {
            processes[i]->waitForReadyRead(200);
            readLines(*processes[i], runs[i]);
        }
    }
    bool finished = true;
    for (int i = 0; i < clients; ++i)
        processes[i]->write("CHECK\n");
    for (int i = 0; i < clients; ++i) {
        finished = processes[i]->waitForFinished(60000) && finished;
        readLines(*processes[i], runs[i]);
        runs[i].exitCode = processes[i]->exitCode();
    }
    return finished;
}

// What is wrong with the book and the clients' listings after a run; empty when nothing: every
// acknowledged record not deleted since is stored once as written last, no other is, no key was
// given twice, and every client's listing equals the book.
inline QString problems(QSqlDatabase db, const std::vector<Run>& runs)
{
    QStringList found;
    std::set<qint64> keys;
    size_t expected = 0;
    for (const Run& run : runs) {
        if (!run.errors.isEmpty() || run.exitCode != 0)
            found << run.tag + QStringLiteral(" failed: ") + run.errors.join(u"; ");
        for (qint64 key : run.added)
            if (!keys.insert(key).second)
                found << QStringLiteral("key %1 given twice").arg(key);
        expected += run.live.size();
        if (run.book.isEmpty() || run.listing != run.book || run.book != runs.front().book)
            found << run.tag + QStringLiteral("'s listing ") + run.listing +
                         QStringLiteral(" is not the book ") + run.book;
    }
    QSqlQuery q = sql::exec(
        db, QStringLiteral("select id, b, a, day1, c, \"1\", \"2\", \"4\", \"6\" from data where "
                           "b like 'PC%'")); // the clients' records, not a bench's own
    size_t stored = 0;
    std::set<QString> summaries;
    while (q.next()) {
        ++stored;
        const qint64 key = q.value(0).toLongLong();
        const QString summary = q.value(1).toString();
        if (!summaries.insert(summary).second)
            found << summary + QStringLiteral(" stored twice");
        const size_t run = summary.section(u'-', 0, 0).mid(2).toUInt();
        if (run >= runs.size() || !runs[run].live.count(key)) {
            found << QStringLiteral("record %1 (%2) was never acknowledged").arg(key).arg(summary);
            continue;
        }
        const RecordValues r = RecordValues::forNumber(runs[run].tag, runs[run].live.at(key));
        if (summary != r.summary || q.value(2).toString() != r.kind ||
            q.value(3).toString() != r.date || q.value(4).toString() != r.counterparty ||
            q.value(5).toDouble() != r.income || q.value(6).toDouble() != r.received ||
            q.value(7).toDouble() != r.expense || q.value(8).toDouble() != r.payable)
            found << QStringLiteral("record %1 is not %2 as written").arg(key).arg(r.summary);
    }
    if (stored != expected)
        found << QStringLiteral("%1 records stored, %2 acknowledged").arg(stored).arg(expected);
    return found.join(u'\n');
}

} // namespace clientruns
