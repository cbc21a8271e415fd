#pragma once

#include <QString>
#include <QStringList>

// The users table (userdb) as the login, the user management and the password change need it;
// its statements run on the data module's scratch query.

// How many rows of userdb carry this name (letter case aside) with this password.
// A login wants exactly one.
int matchingUsers(const QString& name, const QString& password);

namespace users {

// Every user's name, in the order the users were added.
QStringList names();
// Whether a user of this name (letter case aside) exists.
bool exists(const QString& name);
// Stores password (hashed) for the user of this name.
void setPassword(const QString& name, const QString& password);
// Adds a user with password (hashed); throws when the name is taken, letter case aside.
void add(const QString& name, const QString& password);
void remove(const QString& name);

} // namespace users
