#pragma once

#include <QString>

class Dataset;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

// Small routines the windows share for required fields and pick lists; the statements
// themselves are in data/mylib.h.

// A blank field shows message in a warning box, takes the focus and gives false.
bool RequireEditText(QLineEdit* field, const QString& message);
bool RequireComboText(QComboBox* combo, const QString& message);

// Empties the combo box (list and text) and lists the column's distinct values.
void FillComboFromColumn(Dataset* query, const QString& column, const QString& table,
                         QComboBox* combo);

// A push button whose objectName is name, as the windows built in code make theirs.
QPushButton* namedButton(QWidget* parent, const QString& caption, const char* name);
