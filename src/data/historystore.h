#pragma once

#include "data/history.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The history's table as its files read it: the stored columns in order, a row as an entry
// (its values left as stored), and bookinfo's head row.
namespace history::store {

const QString& columns();
Entry entryFrom(const QSqlQuery& q);

struct Head
{
    bool present = false;
    qint64 seq = 0;
    QString hash;
};
// On a server, forUpdate locks the head row for the rest of the transaction.
Head readHead(QSqlDatabase& db, bool forUpdate);
Head headFrom(const QVariant& value);

} // namespace history::store
