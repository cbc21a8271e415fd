#pragma once

#include <QString>

#include <functional>

#include <sys/types.h>

// Copies one file so that the target is either the old file or the complete new one: the bytes
// go to a temporary file beside the target, reach the disk, and only then replace the target.
namespace filecopy {

// Where a copy of source to target lands, as an absolute path: relative targets count from the
// working folder, an existing folder receives the file under source's own name, and a link
// stands for the file it points to.
QString resolveTarget(const QString& source, const QString& target);

// Called after each block with the bytes copied so far; false abandons the copy.
using Progress = std::function<bool(qint64 copied, qint64 total)>;

// Copies source over exactly target (no folder resolution). On failure gives false with the
// cause in error, leaves the target as it was and removes the temporary file.
bool copyFile(const QString& source, const QString& target, QString* error = nullptr,
              const Progress& progress = {});

// The mode a file written in place of target gets: target's own, or 0600 for a new file (the
// copies made here are books, read by their owner only).
mode_t modeFor(const QString& target);

// Makes a rename in folder durable; a failure here no longer endangers either file.
void syncFolder(const QString& folder);

} // namespace filecopy
