// The chain checked a slice at a time: each slice a short read of its own, the last one under
// the history's lock together with the head row, so a check never holds the book for long and
// never takes an append made meanwhile for a removal.
#include "data/history.h"
#include "data/historystore.h"
#include "data/sql.h"

#include <QSqlQuery>

namespace history {

QString Verdict::text() const
{
    switch (problem) {
    case Problem::None:
        return QStringLiteral("记录完整");
    case Problem::Altered:
        return QStringLiteral("第 %1 条修改记录已被其他程序改动").arg(firstBad);
    case Problem::Removed:
        return QStringLiteral("第 %1 条修改记录已被其他程序删除").arg(firstBad);
    case Problem::HeadAltered:
        break;
    }
    return QStringLiteral("修改记录的校验标记已被其他程序改动或删除");
}

ChainCheck::ChainCheck(QSqlDatabase db) : m_db(std::move(db)) {}

void ChainCheck::found(Verdict::Problem problem, qint64 seq)
{
    m_verdict.problem = problem;
    m_verdict.firstBad = seq;
    m_done = true;
}

int ChainCheck::slice(int rows)
{
    QSqlQuery q = sql::exec(m_db,
                            QStringLiteral("select ") + store::columns() +
                                QStringLiteral(" from changes where seq > ? order by seq limit ?"),
                            {m_last, rows});
    int read = 0;
    while (q.next()) {
        ++read;
        const Entry e = store::entryFrom(q);
        // A restored book goes on numbering after the book it replaced.
        if (e.seq != m_expected &&
            !(e.seq > m_expected && e.kind == Kind::Book && e.prevHash == m_prev)) {
            found(Verdict::Problem::Removed, m_expected);
            return read;
        }
        if (hashOf(e) != e.hash) {
            found(Verdict::Problem::Altered, e.seq);
            return read;
        }
        if (e.prevHash != m_prev) {
            found(Verdict::Problem::Altered, m_expected - 1);
            return read;
        }
        m_prev = e.hash;
        m_last = e.seq;
        m_expected = e.seq + 1;
        ++m_verdict.checked;
    }
    return read;
}

bool ChainCheck::step(int rows)
{
    if (m_done || slice(rows) == rows || m_done)
        return m_done;
    // The end: what was appended meanwhile, and the head, in one view of the book.
    sql::Transaction tx(m_db);
    // Locked on a server (a local book's write transaction holds it), never made again: a head
    // row another program removed is what the check is to find.
    const store::Head head = store::readHead(m_db, true);
    while (!m_done && slice(rows) == rows) {
    }
    if (m_done)
        return true;
    m_done = true;
    if (!head.present) {
        if (m_verdict.checked > 0)
            found(Verdict::Problem::HeadAltered, 0);
    } else if (head.seq > m_last) {
        found(Verdict::Problem::Removed, m_last + 1);
    } else if (head.seq < m_last) {
        found(Verdict::Problem::Altered, head.seq + 1);
    } else if (head.hash != m_prev) {
        found(m_last == 0 ? Verdict::Problem::HeadAltered : Verdict::Problem::Altered, m_last);
    }
    return true;
}

Verdict verify(QSqlDatabase& db)
{
    ChainCheck check(db);
    while (!check.step(20000)) {
    }
    return check.verdict();
}

} // namespace history
