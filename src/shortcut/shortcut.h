#pragma once

#include <QString>

// The launcher on the user's desktop that starts the program in its own folder, and the same
// entry in the user's application menu.
namespace shortcut {

// The desktop folder (XDG user dirs, else ~/Desktop).
QString desktopFolder();

// Where the launcher goes: the desktop folder and "Quenvale.desktop".
QString launcherPath();

// The application-menu entry: ~/.local/share/applications/quenvale.desktop.
QString menuEntryPath();

// The Exec value that runs program with no arguments, quoted and escaped for a desktop entry.
QString execValue(const QString& program);

// Writes (or rewrites) both entries for the running executable, making the standard desktop
// folder when it is missing. Says nothing when a file cannot be written: it is then missing.
void place();
void place(const QString& executable);

} // namespace shortcut
