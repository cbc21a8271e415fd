// One PC of many on a shared book: for a fixed time it adds, changes and deletes its own records
// through the program's one write path, as the entry panel does (the insert cursor, the writer
// given the row as the grid shows it, 全部记录 after an add or a change), while its grid's
// listing follows what the other PCs write.
//
//   quenvale_clientdriver BOOK TAG SECONDS SEED
//
// BOOK is a folder holding data.mdb or a server book's connection string. Prints "READY", one
// line per acknowledged write ("ADD key n µs", "MOD key n µs", "DEL key µs": record n is
// RecordValues::forNumber(TAG, n), µs the time to the listing taken in), "BUSY" for a write a
// local book locked too long refused (nothing stored, tried again), "ERROR text" for a
// write refused, then "STOPPED". It then waits for a line on its input, lets its listing follow
// the last writes of the others and prints "LISTING rows digest", "BOOK rows digest" (a reading
// of the book itself) and "SETTLED ms".
#include "data/dm.h"
#include "data/errors.h"
#include "data/history.h"
#include "data/listingquery.h"
#include "data/server.h"
#include "data/sql.h"
#include "recordvalues.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

namespace {

void line(const QString& text)
{
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

// Amounts as figures, whatever type the engine gives them in.
QByteArray cellText(const QString& column, const QVariant& value)
{
    if (column.size() == 1 && column[0] >= u'1' && column[0] <= u'6')
        return QByteArray::number(value.toDouble(), 'f', 4);
    return value.toString().toUtf8();
}

struct Digest
{
    int rows = 0;
    QCryptographicHash hash{QCryptographicHash::Sha1};
    void add(qint64 key, const RowValues& cells)
    {
        ++rows;
        hash.addData(QByteArray::number(key));
        for (const auto& [column, value] : cells) {
            if (column.compare(u"id", Qt::CaseInsensitive) == 0)
                continue;
            const QByteArray cell = "|" + column.toUtf8() + "=" + cellText(column, value);
            hash.addData(cell);
        }
        hash.addData("\n");
    }
    QString text()
    {
        return QStringLiteral("%1 %2").arg(rows).arg(QString::fromLatin1(hash.result().toHex()));
    }
};

QString listingDigest(Dataset* listing)
{
    Digest d;
    for (int position = 0; position < listing->recordCount(); ++position) {
        listing->moveTo(position);
        d.add(listing->key(), listing->rowValues());
    }
    return d.text();
}

QString bookDigest(QSqlDatabase db)
{
    Digest d;
    QSqlQuery q = sql::exec(db, QStringLiteral("select * from data order by day1, id"));
    while (q.next()) {
        const QSqlRecord r = q.record();
        RowValues cells;
        for (int c = 0; c < r.count(); ++c)
            cells.append({r.fieldName(c), q.value(c)});
        d.add(q.value(QStringLiteral("id")).toLongLong(), cells);
    }
    return d.text();
}

class Client
{
public:
    Client(Tdmfm& dm, QString tag, quint32 seed) : m_dm(dm), m_tag(std::move(tag)), m_random(seed)
    {
    }

    void step()
    {
        const int pick = static_cast<int>(m_random.bounded(10));
        if (m_live.size() < 4 || pick < 5)
            add();
        else if (pick < 8)
            change(liveKey());
        else
            remove(liveKey());
    }

private:
    qint64 liveKey()
    {
        auto it = m_live.begin();
        std::advance(it, m_random.bounded(static_cast<quint32>(m_live.size())));
        return it->first;
    }

    // The row as the grid shows it, which the writer is given as opened.
    CashRecord shown(qint64 key)
    {
        if (!m_dm.ADOQuery15->locateKey(key))
            throw DatabaseError(QStringLiteral("the listing lacks record %1").arg(key));
        return CashRecord::fromRow(m_dm.ADOQuery15->rowValues());
    }

    void showAll()
    {
        if (!m_dm.ADOQuery15->reopenUnchanged(ListingQuery::allRecords()))
            m_dm.ADOQuery15->open(ListingQuery::allRecords());
    }

    void add()
    {
        const int n = m_next++;
        QElapsedTimer took;
        took.start();
        Dataset* t = m_dm.ADOTable5;
        t->append();
        try {
            for (const auto& [column, value] : RecordValues::forNumber(m_tag, n).columnValues())
                t->setValue(column, value);
            t->post();
        } catch (...) {
            t->cancel();
            throw;
        }
        const qint64 key = t->key();
        m_live[key] = n;
        showAll();
        line(QStringLiteral("ADD %1 %2 %3").arg(key).arg(n).arg(took.nsecsElapsed() / 1000));
    }

    void change(qint64 key)
    {
        const int n = m_next++;
        QElapsedTimer took;
        took.start();
        m_dm.writer()->modify(key, shown(key), RecordValues::forNumber(m_tag, n));
        m_live[key] = n;
        showAll();
        line(QStringLiteral("MOD %1 %2 %3").arg(key).arg(n).arg(took.nsecsElapsed() / 1000));
    }

    void remove(qint64 key)
    {
        QElapsedTimer took;
        took.start();
        m_dm.writer()->remove(key, shown(key));
        m_live.erase(key);
        line(QStringLiteral("DEL %1 %2").arg(key).arg(took.nsecsElapsed() / 1000));
    }

    Tdmfm& m_dm;
    QString m_tag;
    QRandomGenerator m_random;
    std::map<qint64, int> m_live; // key -> the record number it holds
    int m_next = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: quenvale_clientdriver BOOK TAG SECONDS SEED\n");
        return 2;
    }
    const bool onServer = server::isServerBook(args.at(1));
    if (!onServer)
        QDir::setCurrent(args.at(1));
    const QString tag = args.at(2);
    const qint64 runMs = args.at(3).toLongLong() * 1000;
    bool ok = true;
    try {
        Tdmfm dm(onServer ? args.at(1) : QStringLiteral("data.mdb"));
        history::setOperator(tag);
        dm.ADOTable5->openForAppend();
        dm.ADOQuery15->open(ListingQuery::allRecords());
        Client client(dm, tag, args.at(4).toUInt());
        line(QStringLiteral("READY"));
        QElapsedTimer running;
        running.start();
        while (running.elapsed() < runMs) {
            QCoreApplication::processEvents(); // the other PCs' writes come in between
            try {
                client.step();
            } catch (const QuenvaleError& e) {
                // A local book locked by the others for longer than the wait refuses the write
                // and stores nothing; the operator tries again.
                if (e.message().contains(u"database is locked")) {
                    line(QStringLiteral("BUSY"));
                    continue;
                }
                line(QStringLiteral("ERROR ") + e.message());
                ok = false;
            }
        }
        line(QStringLiteral("STOPPED"));
        std::string go;
        std::getline(std::cin, go);
        // The listing follows by itself; the book is read here only to compare.
        QElapsedTimer settling;
        settling.start();
        QString listing = listingDigest(dm.ADOQuery15);
        QString book = bookDigest(dm.connection());
        while (listing != book && settling.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            listing = listingDigest(dm.ADOQuery15);
            book = bookDigest(dm.connection());
        }
        line(QStringLiteral("LISTING ") + listing);
        line(QStringLiteral("BOOK ") + book);
        line(QStringLiteral("SETTLED %1").arg(settling.elapsed()));
    } catch (const QuenvaleError& e) {
        line(QStringLiteral("ERROR ") + e.message());
        ok = false;
    }
    line(ok ? QStringLiteral("DONE") : QStringLiteral("FAILED"));
    return ok ? 0 : 1;
}
