#pragma once

#include <QString>

#include <optional>

// The three per-user values skin, n0 and save, kept under morvath/qvbook
// (~/.config/morvath/qvbook.conf here; the registry key of the same name on Windows).
namespace settings {

inline const QString kSkin = QStringLiteral("skin"); // index 0–4 of the chosen skin
// n0: "no" means the month-only view is on, "yes" all records (the Windows program's sense).
inline const QString kMonthOnly = QStringLiteral("n0");
inline const QString kBackupTarget = QStringLiteral("save"); // last backup target of Tbeifen
// A server book's connection string (never a password), when the user keeps the book on a
// server rather than in data.mdb.
inline const QString kServerBook = QStringLiteral("serverbook");
// How many automatic backups are kept; 0 turns the backup at exit off.
inline const QString kAutoBackups = QStringLiteral("autobackups");

// The key's path as the program names it in messages.
QString keyPath();

// Nothing when the key does not exist; an empty text when only the value is missing.
// Throws SettingsError "Invalid data type for '%s'" for a value that is not a string.
std::optional<QString> read(const QString& name);

// The text of a value whose caller has a default: empty when the key or the value is missing,
// and when the value is not a string (the next write of it stores a proper one).
QString readText(const QString& name);

// Creates the key when needed and stores the text; throws SettingsError on failure.
void write(const QString& name, const QString& text);

} // namespace settings
