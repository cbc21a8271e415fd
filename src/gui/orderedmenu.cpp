#include "gui/orderedmenu.h"

#include <QAction>
#include <QMenu>

#include <stdexcept>

OrderedMenu::OrderedMenu(QMenu* menu, const QStringList& layout)
    : QObject(menu), m_menu(menu), m_layout(layout)
{
}

void OrderedMenu::add(QAction* action)
{
    const QString name = action->objectName();
    if (name == u"-" || !m_layout.contains(name))
        throw std::logic_error("menu item " + name.toStdString() + " has no place in the layout");
    for (QAction* item : std::as_const(m_items))
        if (item->objectName() == name)
            throw std::logic_error("menu item " + name.toStdString() + " added twice");
    m_items.append(action);
    arrange();
}

void OrderedMenu::arrange()
{
    for (QAction* item : std::as_const(m_items))
        m_menu->removeAction(item);
    qDeleteAll(m_separators);
    m_separators.clear();
    bool groupHasItems = false;
    bool separatorDue = false;
    for (const QString& name : std::as_const(m_layout)) {
        if (name == u"-") {
            separatorDue = separatorDue || groupHasItems;
            groupHasItems = false;
            continue;
        }
        const auto at = std::find_if(m_items.cbegin(), m_items.cend(),
                                     [&](const QAction* a) { return a->objectName() == name; });
        if (at == m_items.cend())
            continue;
        if (separatorDue) {
            m_separators.append(m_menu->addSeparator());
            separatorDue = false;
        }
        m_menu->addAction(*at);
        groupHasItems = true;
    }
}
