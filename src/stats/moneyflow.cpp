#include "stats/moneyflow.h"

#include "data/bookfacts.h"
#include "data/money.h"
#include "data/sql.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace moneyflow {

namespace {

QString units(const QString& amount)
{
    return money::units(amount);
}

} // namespace

QList<qint64> integers(QSqlDatabase& db, const QString& statement, const QVariantList& values)
{
    // Each reading ends before the next starts: a server connection reads one result at a time.
    QSqlQuery q = sql::exec(db, statement, values);
    QList<qint64> found;
    if (q.next())
        for (int i = 0; i < q.record().count(); ++i)
            found << q.value(i).toLongLong();
    return found;
}

QString receipts(const QString& alias)
{
    return QStringLiteral("coalesce(%1.a,'')<>'支出'").arg(alias);
}

QString settled(const QString& alias)
{
    return QStringLiteral("(select ") + money::sumOf(units(QStringLiteral("s.amount"))) +
           QStringLiteral(" from settlements s where s.record=%1.id)").arg(alias);
}

QString settlementSummary(bool receipt, const QString& summary, const QString& note)
{
    QString text = (receipt ? QStringLiteral("收款：") : QStringLiteral("付款：")) + summary;
    if (!note.trimmed().isEmpty())
        text += u'（' + note.trimmed() + u'）';
    return text;
}

Flows before(QSqlDatabase& db, const QString& day)
{
    Flows f;
    if (day.isEmpty())
        return f;
    // What came in on the records themselves, less the settlements of those records, plus the
    // settlements made before day (a settlement never comes before its record).
    const QList<qint64> records =
        integers(db,
                 QStringLiteral("select ") + money::sumOf(units(QStringLiteral("\"2\""))) + u',' +
                     money::sumOf(units(QStringLiteral("\"5\""))) +
                     QStringLiteral(" from data where day1<? or day1 is null"),
                 {day});
    const QString weight =
        QStringLiteral("((case when s.day1<? then 1 else 0 end)-(case when coalesce(d.day1,'')<? "
                       "then 1 else 0 end))*") +
        units(QStringLiteral("s.amount"));
    const QList<qint64> settlements = integers(
        db,
        QStringLiteral("select ") +
            money::sumOf(QStringLiteral("case when ") + receipts(QStringLiteral("d")) +
                         QStringLiteral(" then ") + weight + QStringLiteral(" else 0 end")) +
            u',' +
            money::sumOf(QStringLiteral("case when ") + receipts(QStringLiteral("d")) +
                         QStringLiteral(" then 0 else ") + weight + QStringLiteral(" end")) +
            QStringLiteral(" from settlements s join data d on d.id=s.record"
                           " where s.day1<? or d.day1<? or d.day1 is null"),
        {day, day, day, day, day, day});
    f.in = records.value(0) + settlements.value(0);
    f.out = records.value(1) + settlements.value(1);
    return f;
}

qint64 balanceBefore(QSqlDatabase& db, const QString& day)
{
    const bookfacts::Opening opening = bookfacts::opening(db);
    // The opening balance is the cash at the start of its own day.
    return opening.units + before(db, day).net() - before(db, opening.date).net();
}

QList<Line> lines(QSqlDatabase& db, const QString& first, const QString& end)
{
    const QString records =
        QStringLiteral("select 0 as kind, id, day1 as moved, b, c, cast(null as text) as note, "
                       "receipt, u2-(case when receipt=1 then settled else 0 end) as cin, "
                       "u5-(case when receipt=1 then 0 else settled end) as cout from (select "
                       "d.id, d.day1, d.b, d.c, case when ") +
        receipts(QStringLiteral("d")) + QStringLiteral(" then 1 else 0 end as receipt, ") +
        units(QStringLiteral("d.\"2\"")) + QStringLiteral(" as u2, ") +
        units(QStringLiteral("d.\"5\"")) + QStringLiteral(" as u5, ") +
        settled(QStringLiteral("d")) +
        QStringLiteral(" as settled from data d where d.day1>=? and d.day1<?) as r");
    const QString amount = units(QStringLiteral("s.amount"));
    const QString settlements =
        QStringLiteral("select 1, s.id, s.day1, d.b, d.c, s.note, case when ") +
        receipts(QStringLiteral("d")) + QStringLiteral(" then 1 else 0 end, case when ") +
        receipts(QStringLiteral("d")) + QStringLiteral(" then ") + amount +
        QStringLiteral(" else 0 end, case when ") + receipts(QStringLiteral("d")) +
        QStringLiteral(" then 0 else ") + amount +
        QStringLiteral(" end from settlements s join data d on d.id=s.record"
                       " where s.day1>=? and s.day1<?");
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select kind, id, moved, b, c, note, receipt, cin, cout "
                                           "from (") +
                                records + QStringLiteral(" union all ") + settlements +
                                QStringLiteral(") as lines where cin<>0 or cout<>0 "
                                               "order by moved, kind, id"),
                            {first, end, first, end});
    QList<Line> found;
    while (q.next()) {
        Line line;
        line.settlement = q.value(0).toInt() == 1;
        line.key = q.value(1).toLongLong();
        line.day = q.value(2).toString();
        line.summary = line.settlement
                           ? settlementSummary(q.value(6).toInt() == 1, q.value(3).toString(),
                                               q.value(5).toString())
                           : q.value(3).toString();
        line.party = q.value(4).toString();
        line.in = q.value(7).toLongLong();
        line.out = q.value(8).toLongLong();
        found << line;
    }
    return found;
}

} // namespace moneyflow
