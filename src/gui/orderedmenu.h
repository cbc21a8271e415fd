#pragma once

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;

// A menu whose items have fixed places, given once as a layout of object names in which "-"
// stands for a separator. Items come as their commands are built, in any order; each lands in
// its place. A separator shows only between two items that are there, so separators never
// double, lead or end the menu.
class OrderedMenu : public QObject
{
    Q_OBJECT

public:
    OrderedMenu(QMenu* menu, const QStringList& layout);

    // Puts action in the place its object name has in the layout; throws std::logic_error
    // for a name the layout does not hold or that is there already.
    void add(QAction* action);

    QMenu* menu() const { return m_menu; }

private:
    void arrange();

    QMenu* m_menu;
    QStringList m_layout;
    QList<QAction*> m_items;
    QList<QAction*> m_separators;
};
