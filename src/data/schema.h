#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>

namespace schema {

// The layout this program writes: PRAGMA user_version of a local book, the row 'layout' of
// bookinfo on a server. Each new layout is one more step in data/layout.cpp.
inline constexpr int kVersion = 4;

inline constexpr auto kAdministrator = u"超级管理员";
inline constexpr auto kAdministratorInitialPassword = u"574";
inline constexpr auto kDefaultPassword = u"574";

// Creates the three tables and the administrator row in an empty database, in one transaction.
void create(QSqlDatabase& db);

// Only the tables and the version, inside the caller's transaction: for a book whose users
// come from elsewhere (the Access conversion, a server book's snapshot).
void createTables(QSqlDatabase& db);

// The statements that create the current layout's tables on db's engine.
QStringList tableStatements(const QSqlDatabase& db);

// Creates a fresh book at path; throws when the file exists or cannot be written.
void createFile(const QString& path);

// True when the open database holds the tables data, userdb and rz.
bool hasRequiredTables(QSqlDatabase& db);

// Why the open database cannot serve as a book: the tables data, userdb and rz must exist with
// every column the program reads or writes. Empty when it can. busy, when given, tells whether
// the answer was cut short by another program's lock (the book itself may then be sound).
QString layoutProblem(QSqlDatabase& db, bool* busy = nullptr);

// True for SQLite's "database is locked" and "database table is locked".
bool isBusy(const QSqlError& error);

// Columns of data in table order, without the hidden key.
const QStringList& dataColumns();

// Columns that hold a date as yyyy-mm-dd text.
bool isDateColumn(const QString& name);

} // namespace schema
