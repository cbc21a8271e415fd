#pragma once

class QApplication;

namespace startup {

// Title, fonts and the like; before any window exists.
void prepareApplication(QApplication& app);

// Creates the main window, the login window and the data module, in that order, and shows
// the main window. Gives false (after reporting on standard error and in a box) when the
// book cannot be opened; then no window is left.
bool createWindows();

// Destroys what createWindows made.
void destroyWindows();

// The whole program: the windows and the message loop; its exit status.
int run(QApplication& app);

} // namespace startup
