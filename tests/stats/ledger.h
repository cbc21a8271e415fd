#pragma once

// A book's records and settlements kept beside the book in whole cents, written the way the
// settlement registration writes them: the settlement row, and the record's received or paid
// raised and its rest lowered by the same amount.
#include "data/sql.h"

#include <QList>
#include <QSqlQuery>
#include <QString>

namespace ledger {

struct Settlement
{
    qint64 id = 0;
    QString day;
    qint64 cents = 0;
    QString note;
};

struct Record
{
    qint64 id = 0;
    QString kind; // 收入 or 支出
    QString day;  // may be empty: no date
    QString summary;
    QString party;
    qint64 total = 0;
    qint64 atEntry = 0; // received or paid when entered
    QList<Settlement> settlements;

    bool receipt() const { return kind != QStringLiteral("支出"); }
    qint64 settled() const
    {
        qint64 sum = 0;
        for (const Settlement& s : settlements)
            sum += s.cents;
        return sum;
    }
    qint64 rest() const { return total - atEntry - settled(); }
};

class Book
{
public:
    explicit Book(const QString& path) : m_conn(path) {}
    QSqlDatabase& db() { return m_conn.db(); }

    // Amounts as stored: cents / 100, or exactly the yuan given.
    int add(const QString& kind, const QString& day, const QString& summary, const QString& party,
            qint64 total, qint64 atEntry)
    {
        return addYuan(kind, day, summary, party, total / 100.0, atEntry / 100.0, total, atEntry);
    }
    int addYuan(const QString& kind, const QString& day, const QString& summary,
                const QString& party, double total, double atEntry, qint64 totalCents = 0,
                qint64 atEntryCents = 0)
    {
        const bool in = kind != QStringLiteral("支出");
        QSqlQuery q = sql::exec(
            db(),
            QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                           "values (?,?,?,?,?,?,?,?,?,?,'1') returning id"),
            {kind, day.isEmpty() ? QVariant() : QVariant(day), summary, party, in ? total : 0.0,
             in ? atEntry : 0.0, in ? total - atEntry : 0.0, in ? 0.0 : total, in ? 0.0 : atEntry,
             in ? 0.0 : total - atEntry});
        Record r;
        r.id = q.next() ? q.value(0).toLongLong() : 0;
        r.kind = kind;
        r.day = day;
        r.summary = summary;
        r.party = party;
        r.total = totalCents;
        r.atEntry = atEntryCents;
        records << r;
        return static_cast<int>(records.size() - 1);
    }
    void settle(int record, const QString& day, qint64 cents, const QString& note = QString())
    {
        Record& r = records[record];
        sql::Transaction tx(db());
        QSqlQuery q = sql::exec(db(),
                                QStringLiteral("insert into settlements (record,day1,amount,"
                                               "username,note,written) values (?,?,?,?,?,?) "
                                               "returning id"),
                                {r.id, day, cents / 100.0, QStringLiteral("超级管理员"), note,
                                 QStringLiteral("2025-01-01 10:00:00")});
        Settlement s{q.next() ? q.value(0).toLongLong() : 0, day, cents, note};
        q.finish();
        const bool in = r.receipt();
        sql::exec(db(),
                  in ? QStringLiteral("update data set \"2\"=\"2\"+?, \"3\"=\"3\"-? where id=?")
                     : QStringLiteral("update data set \"5\"=\"5\"+?, \"6\"=\"6\"-? where id=?"),
                  {cents / 100.0, cents / 100.0, r.id});
        tx.commit();
        r.settlements << s;
    }
    void setFact(const QString& name, const QString& value)
    {
        sql::exec(db(), QStringLiteral("delete from bookinfo where name=?"), {name});
        sql::exec(db(), QStringLiteral("insert into bookinfo (name, value) values (?, ?)"),
                  {name, value});
    }

    QList<Record> records;

private:
    sql::ScopedConnection m_conn;
};

} // namespace ledger
