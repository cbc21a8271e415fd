// The entry panel's two lists of names (项目摘要 and 往来单位): read from the whole book when
// it may have changed, and kept in step with the panel's own writes without reading it again.
#include "cashbook/entrypanel.h"
#include "data/errors.h"
#include "data/sql.h"
#include "gui/formfields.h"

#include <QComboBox>
#include <QStringListModel>

#include <algorithm>

namespace {

QStringListModel* namesOf(QComboBox* box)
{
    return qobject_cast<QStringListModel*>(box->model());
}

// Where name stands, or would stand, in a list sorted as the book sorts.
int placeOf(const QStringList& names, const QString& name)
{
    const auto it = std::lower_bound(names.begin(), names.end(), name,
                                     [](const QString& item, const QString& wanted) {
                                         return sql::compareStored(item, wanted) < 0;
                                     });
    return static_cast<int>(it - names.begin());
}

} // namespace

void EntryPanel::refillLists(Dataset* scratch)
{
    m_scratch = scratch;
    if (m_listsFilled && scratch->tableUnchangedSince(m_listsStamp, QStringLiteral("data"))) {
        for (QComboBox* box : {ComboBox2, ComboBox3}) {
            box->setCurrentIndex(-1);
            box->setEditText(QString());
        }
        return;
    }
    m_listsFilled = false;
    // Two scans of a big book: a hidden panel has them read when it opens, not on every listing.
    if (isVisible())
        fillLists();
}

void EntryPanel::listsForOpening()
{
    if (!m_listsFilled && m_scratch)
        fillLists();
}

void EntryPanel::fillLists()
{
    const Dataset::ChangeStamp stamp = m_scratch->changeStamp();
    FillComboFromColumn(m_scratch, QStringLiteral("c"), QStringLiteral("data"), ComboBox2);
    FillComboFromColumn(m_scratch, QStringLiteral("b"), QStringLiteral("data"), ComboBox3);
    m_scratch->close(); // the names now live in the lists: a big book's are not held twice
    m_listsStamp = stamp;
    m_listsFilled = true;
}

std::optional<EntryPanel::ListNames> EntryPanel::namesInBook(qint64 key)
{
    QSqlDatabase db = m_connection();
    QSqlQuery q = sql::exec(db, QStringLiteral("select b, c from data where id=?"), {key});
    if (!q.next() || q.value(0).isNull() || q.value(1).isNull())
        return std::nullopt; // a missing name: the lists are read again instead
    return ListNames{q.value(0).toString(), q.value(1).toString()};
}

void EntryPanel::followOwnWrite(const Dataset::ChangeStamp& before,
                                const std::optional<ListNames>& added,
                                const std::optional<ListNames>& removed, bool removedKnown)
{
    // Followed only when the lists were current before the write and it changed just one row.
    const Dataset::ChangeStamp after = m_inserts->changeStamp();
    m_listsFilled = m_listsFilled && removedKnown &&
                    m_inserts->tableUnchangedSince(m_listsStamp, QStringLiteral("data"), before) &&
                    after.connection == before.connection &&
                    after.dataVersion == before.dataVersion && after.changes == before.changes + 1;
    if (!m_listsFilled) {
        if (isVisible() && m_scratch) // the operator is looking at them: read them again
            fillLists();
        return;
    }
    m_listsFilled = false; // until both lists have followed
    const std::pair<QComboBox*, QString ListNames::*> lists[] = {
        {ComboBox3, &ListNames::summary}, {ComboBox2, &ListNames::counterparty}};
    for (const auto& [box, member] : lists) {
        QStringListModel* model = namesOf(box);
        const QString column = box == ComboBox3 ? QStringLiteral("b") : QStringLiteral("c");
        // An empty name cannot be told from a missing one in the list: read it again.
        if (!model || (added && (*added).*member == QString()) ||
            (removed && (*removed).*member == QString())) {
            if (isVisible() && m_scratch)
                fillLists();
            return;
        }
        if (removed && !(added && (*added).*member == (*removed).*member)) {
            const QString& name = (*removed).*member;
            QSqlDatabase db = m_connection();
            QSqlQuery still = sql::exec(db,
                                        QStringLiteral("select 1 from data where ") + column +
                                            QStringLiteral("=? limit 1"),
                                        {name});
            const QStringList names = model->stringList();
            const int at = placeOf(names, name);
            if (!still.next() && at < names.size() && names[at] == name)
                model->removeRows(at, 1);
        }
        if (added) {
            const QString& name = (*added).*member;
            const QStringList names = model->stringList();
            const int at = placeOf(names, name);
            if (at == names.size() || names[at] != name) {
                model->insertRows(at, 1);
                model->setData(model->index(at), name);
            }
        }
    }
    m_listsStamp = after;
    m_listsFilled = true;
}
