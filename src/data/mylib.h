#pragma once

#include "data/dataset.h"

#include <QString>
#include <QVariantList>

class QComboBox;
class QLineEdit;

// Small routines the windows share for statements and required fields.

// A blank field shows message in a warning box, takes the focus and gives false.
bool RequireEditText(QLineEdit* field, const QString& message);
bool RequireComboText(QComboBox* combo, const QString& message);

// Closes the query, then runs a row-returning statement with its values bound.
void OpenQuery(Dataset* query, const QString& statement, const QVariantList& values = {});
// Closes the query, then runs a statement that returns no rows; the query stays closed.
void ExecQuery(Dataset* query, const QString& statement, const QVariantList& values = {});
// The distinct values of one column, sorted. column and table are the program's own names.
void OpenColumnValues(Dataset* query, const QString& column, const QString& table);
// Empties the combo box (list and text) and lists the column's distinct values.
void FillComboFromColumn(Dataset* query, const QString& column, const QString& table,
                         QComboBox* combo);
