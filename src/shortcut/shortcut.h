#pragma once

#include <QString>

// The launcher on the user's desktop that starts the program in its own folder.
namespace shortcut {

// Where the launcher goes: the desktop folder and "Quenvale.desktop".
QString launcherPath();

// Writes (or rewrites) the launcher for the running executable. Says nothing when the
// desktop folder is missing or the file cannot be written: the launcher is then missing.
void place();

} // namespace shortcut
