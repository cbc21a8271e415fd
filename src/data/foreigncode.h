#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// Code in a book that this program did not put there: triggers and views (and rules on a
// server). A trigger runs at every write it names and can change or delete any record; a
// restore would carry it into the live book.
namespace foreigncode {

struct Item
{
    QString kind;  // "trigger", "view" or "rule"
    QString name;  // as the book names it
    QString table; // the table a trigger or rule belongs to
};

// Every such piece of code in db, by kind and name.
QList<Item> find(QSqlDatabase& db);

// The pieces in Chinese, one a line: 触发器“x”（表 data）.
QString describe(const QList<Item>& items);

// Removes them, inside the caller's transaction.
void remove(QSqlDatabase& db, const QList<Item>& items);

} // namespace foreigncode
