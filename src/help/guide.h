#pragma once

#include <QString>
#include <QStringList>

// Where the user guide is. It is installed with its pictures in the package's documentation
// folder; a program run from its build folder reads the one in the source tree.
namespace guide {

// The guide's file name; its pictures sit in the folder guide/ beside it.
QString fileName();

// The folders looked in, in order, for a program in programDir.
QStringList folders(const QString& programDir);

// The guide's path, or empty when none of the folders holds it.
QString locate(const QString& programDir);

} // namespace guide
