// The entry panel's two lists of names (项目摘要 and 往来单位): the book's NameLists, read from
// the whole book when they may have changed and following the writer's writes otherwise.
#include "cashbook/entrypanel.h"
#include "data/namelists.h"

#include <QComboBox>

void EntryPanel::refillLists(Dataset* scratch)
{
    m_scratch = scratch;
    if (m_names && m_names->confirmCurrent()) {
        for (QComboBox* box : {ComboBox2, ComboBox3}) {
            box->setCurrentIndex(-1);
            box->setEditText(QString());
        }
        return;
    }
    // Two scans of a big book: a hidden panel has them read when it opens, not on every listing.
    if (isVisible())
        fillLists();
}

void EntryPanel::listsForOpening()
{
    if (m_names && !m_names->isRead() && m_scratch)
        fillLists();
}

void EntryPanel::listsAfterOwnWrite()
{
    // The operator is looking at them: read them again.
    if (m_names && !m_names->isRead() && isVisible() && m_scratch)
        fillLists();
}

void EntryPanel::fillLists()
{
    if (!m_names)
        return;
    m_names->read(m_scratch);
    for (QComboBox* box : {ComboBox2, ComboBox3}) {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
}
