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

// Where name stands, or would stand, in a list sorted as the book sorts.
int placeOf(const QStringList& names, const QString& name)
{
    const auto it = std::lower_bound(names.begin(), names.end(), name,
                                     [](const QString& item, const QString& wanted) {
                                         return sql::compareStored(item, wanted) < 0;
                                     });
    return static_cast<int>(it - names.begin());
}

// A name a write brings or takes: an empty or missing one cannot be told apart in the list.
std::optional<QString> nameIn(const QVariant& value)
{
    if (value.isNull() || value.toString().isEmpty())
        return std::nullopt;
    return value.toString();
}

} // namespace

NameLists::NameLists(BookWriter* writer, QObject* parent)
    : QObject(parent), m_writer(writer), m_summaries(new QStringListModel(this)),
      m_counterparties(new QStringListModel(this))
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
    const std::pair<QString, QStringListModel*> lists[] = {{QStringLiteral("c"), m_counterparties},
                                                           {QStringLiteral("b"), m_summaries}};
    for (const auto& [column, model] : lists) {
        OpenColumnValues(scratch, column, kData);
        QStringList items;
        const int count = scratch->recordCount();
        items.reserve(count);
        scratch->first();
        for (int i = 0; i < count; ++i) {
            items << scratch->text(column);
            scratch->next();
        }
        // One model swap instead of an item at a time: a big book has thousands of names.
        model->setStringList(items);
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
    const bool adds = change.kind != RowChange::Kind::Removed;
    const bool removes = change.kind != RowChange::Kind::Added;
    const std::pair<QString, QStringListModel*> lists[] = {{QStringLiteral("b"), m_summaries},
                                                           {QStringLiteral("c"), m_counterparties}};
    for (const auto& [column, model] : lists) {
        std::optional<QString> added;
        std::optional<QString> removed;
        if (adds && !(added = nameIn(change.valueAfter(column))))
            return false;
        if (removes) {
            QVariant old;
            for (const auto& [name, value] : change.before)
                if (name.compare(column, Qt::CaseInsensitive) == 0)
                    old = value;
            if (!(removed = nameIn(old)))
                return false;
        }
        if (removed && removed != added) {
            QSqlDatabase db = m_writer->connection();
            QSqlQuery still = sql::exec(db,
                                        QStringLiteral("select 1 from data where ") + column +
                                            QStringLiteral("=? limit 1"),
                                        {*removed});
            const QStringList names = model->stringList();
            const int at = placeOf(names, *removed);
            if (!still.next() && at < names.size() && names[at] == *removed)
                model->removeRows(at, 1);
        }
        if (added) {
            const QStringList names = model->stringList();
            const int at = placeOf(names, *added);
            if (at == names.size() || names[at] != *added) {
                model->insertRows(at, 1);
                model->setData(model->index(at), *added);
            }
        }
    }
    m_stamp = change.to;
    return true;
}
