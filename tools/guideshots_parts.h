#pragma once

#include <QString>

#include <functional>

class MessageService;
class QMenu;
class QWidget;

// What the guide's picture makers share: where the pictures go and how each is taken.
namespace guideshots {

extern QString g_folder;
extern MessageService* g_quiet;

void save(QWidget* w, const QString& name);
// Runs show with the program's real boxes; the first box it opens is pictured and closed as
// Escape would close it.
void saveBox(const QString& name, const std::function<void()>& show);
void saveMenu(QMenu* menu, const QString& name);
void errorBox(const QString& name, const QString& detail);

// Backups, the history and the bin, the messages when something goes wrong, the guide window.
void keepingSafe();

} // namespace guideshots
