#include "data/namelists.h"

#include "data/bookwriter.h"
#include "data/dataset.h"
#include "data/mylib.h"
#include "data/sql.h"

#include <QSqlQuery>

#include <algorithm>
#include <optional>

namespace {

const QString kData = QStringLiteral("data");

// Where name stands, or would stand, among names sorted as the book sorts.
int placeOf(const QStringList& names, int from, int to, const QString& name)
{
    const auto it = std::lower_bound(names.begin() + from, names.begin() + to, name,
                                     [](const QString& item, const QString& wanted) {
                                         return sql::compareStored(item, wanted) < 0;
                                     });
    return static_cast<int>(it - names.begin());
}

} // namespace

NameLists::NameLists(BookWriter* writer, QObject* parent)
    : QObject(parent), m_writer(writer), m_summaries(new QStringListModel(this)),
      m_counterparties(new QStringListModel(this)), m_lists{{QStringLiteral("b"), m_summaries},
                                                            {QStringLiteral("c"), m_counterparties}}
{
    connect(writer, &BookWriter::written, this, &NameLists::follow);
}

bool NameLists::confirmCurrent()
{
    const ChangeJournal* journal = m_writer ? m_writer->journal() : nullptr;
    try {
        m_read =
            m_read && journal && journal->tableUnchangedSince(m_stamp, kData, journal->stamp());
    } catch (const std::exception&) {
        m_read = false;
    }
    return m_read;
}

void NameLists::read(Dataset* scratch)
{
    m_read = false;
    const ChangeStamp stamp =
        m_writer && m_writer->journal() ? m_writer->journal()->stamp() : ChangeStamp{};
    for (List& list : m_lists) {
        OpenColumnValues(scratch, list.column, kData);
        QStringList items;
        const int count = scratch->recordCount();
        items.reserve(count);
        list.hasNull = false;
        scratch->first();
        for (int i = 0; i < count; ++i) {
            list.hasNull = list.hasNull || scratch->isNull(list.column);
            items << scratch->text(list.column);
            scratch->next();
        }
        // One model swap instead of an item at a time: a big book has thousands of names.
        list.model->setStringList(items);
    }
    scratch->close();
    m_stamp = stamp;
    m_read = true;
}

void NameLists::follow(const QList<RowChange>& changes)
{
    for (const RowChange& change : changes) {
        if (!m_read || change.table.compare(kData, Qt::CaseInsensitive) != 0)
            continue;
        m_read = false; // until both lists have followed
        try {
            m_read = followOne(change);
        } catch (const std::exception&) {
            m_read = false; // read again when next wanted
        }
    }
}

bool NameLists::followOne(const RowChange& change)
{
    // Followed only when the lists were current before the write and it changed just one row.
    const ChangeJournal* journal = m_writer ? m_writer->journal() : nullptr;
    if (change.key == 0 || !journal ||
        !journal->onlyRowWrittenSince(m_stamp, kData, change.from, change.to))
        return false;
    for (List& list : m_lists) {
        std::optional<QVariant> removed;
        if (change.kind != RowChange::Kind::Added) {
            for (const auto& [name, value] : change.before)
                if (name.compare(list.column, Qt::CaseInsensitive) == 0)
                    removed = value;
            if (!removed)
                return false; // what the row held is not known
        }
        std::optional<QVariant> added;
        if (change.kind != RowChange::Kind::Removed)
            added = change.valueAfter(list.column); // not given: stored as null
        followName(list, removed, added);
    }
    m_stamp = change.to;
    return true;
}

// A row's name went from removed to added (nullopt: no row on that side). The missing name
// (null) has an empty item of its own, first on both engines, apart from an empty name's.
void NameLists::followName(List& list, const std::optional<QVariant>& removed,
                           const std::optional<QVariant>& added)
{
    auto missing = [](const QVariant& v) {
        return !v.isValid() || v.isNull() ||
               (v.metaType().id() == QMetaType::QString && v.toString().isNull());
    };
    // The named items follow the null item.
    auto named = [&](const QStringList& names) {
        return std::pair{list.hasNull ? 1 : 0, static_cast<int>(names.size())};
    };
    const bool same = removed && added && missing(*removed) == missing(*added) &&
                      (missing(*removed) || removed->toString() == added->toString());
    if (same)
        return;
    if (removed && !stillWritten(list.column, missing(*removed), removed->toString())) {
        const QStringList names = list.model->stringList();
        if (missing(*removed)) {
            if (list.hasNull)
                list.model->removeRows(0, 1);
            list.hasNull = false;
        } else {
            const auto [from, to] = named(names);
            const int at = placeOf(names, from, to, removed->toString());
            if (at < to && names[at] == removed->toString())
                list.model->removeRows(at, 1);
        }
    }
    if (!added)
        return;
    const QStringList names = list.model->stringList();
    if (missing(*added)) {
        if (!list.hasNull)
            list.model->insertRows(0, 1);
        list.hasNull = true;
        return;
    }
    const auto [from, to] = named(names);
    const int at = placeOf(names, from, to, added->toString());
    if (at == to || names[at] != added->toString()) {
        list.model->insertRows(at, 1);
        list.model->setData(list.model->index(at), added->toString());
    }
}

// Whether a row of the book still holds name (null: a row without one); the column's index
// answers at once.
bool NameLists::stillWritten(const QString& column, bool missing, const QString& name)
{
    QSqlDatabase db = m_writer->connection();
    QSqlQuery still = missing ? sql::exec(db, QStringLiteral("select 1 from data where ") + column +
                                                  QStringLiteral(" is null limit 1"))
                              : sql::exec(db,
                                          QStringLiteral("select 1 from data where ") + column +
                                              QStringLiteral("=? limit 1"),
                                          {name});
    return still.next();
}
