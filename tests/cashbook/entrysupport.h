#pragma once

// What the entry panel's tests share: the panel, a stored row, the operator's typing and clicks,
// and what a fresh reading of the book gives.
#include "app/mainform.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/sql.h"
#include "testsupport.h"

#include <QComboBox>

namespace entrytest {

using namespace testsupport;

inline EntryPanel* panel()
{
    return MainForm->Panel3;
}

inline QVariantList row(const QString& bookPath, qint64 key)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q = sql::exec(
        conn.db(),
        QStringLiteral(
            "select a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o from data where id=?"),
        {key});
    QVariantList values;
    if (q.next())
        for (int i = 0; i < 11; ++i)
            values << q.value(i);
    return values;
}

inline int count(const QString& bookPath)
{
    return scalar(bookPath, QStringLiteral("select count(*) from data")).toInt();
}

// Chooses the kind as the operator does: by typing it into the box.
inline void typeKind(const QString& kind)
{
    panel()->ComboBox1->lineEdit()->clear();
    typeText(panel()->ComboBox1->lineEdit(), kind);
}

inline void openRow(int row)
{
    RecordGrid* grid = MainForm->DBGridEh1;
    const QRect cell = grid->visualRect(grid->model()->index(row, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

// What a fresh reading of the book gives: a column's distinct names, and the listing's keys.
inline QStringList bookColumn(const QString& bookPath, const QString& statement)
{
    sql::ScopedConnection conn(bookPath);
    QSqlQuery q = sql::exec(conn.db(), statement);
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    return values;
}

inline QStringList items(QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

inline QStringList keysListed()
{
    QStringList keys;
    Dataset* listing = dmfm->ADOQuery15;
    for (int i = 0; i < listing->recordCount(); ++i) {
        listing->moveTo(i);
        keys << QString::number(listing->key());
    }
    listing->last();
    return keys;
}

} // namespace entrytest
