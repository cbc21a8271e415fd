#pragma once

#include "data/dataset.h"

#include <QString>
#include <QVariantList>

// Small routines the windows share for statements; the widget helpers (RequireEditText,
// RequireComboText, FillComboFromColumn) are in gui/formfields.h.

// Closes the query, then runs a row-returning statement with its values bound.
void OpenQuery(Dataset* query, const QString& statement, const QVariantList& values = {});
// Closes the query, then runs a statement that returns no rows; the query stays closed.
void ExecQuery(Dataset* query, const QString& statement, const QVariantList& values = {});
// The distinct values of one column, sorted. column and table are the program's own names.
void OpenColumnValues(Dataset* query, const QString& column, const QString& table);
