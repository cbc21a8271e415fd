#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The users table (userdb) as the login, the user management and the password change need it.
// Every change of a user is written in one transaction with its history entry, as the operator
// logged in.

// How many rows of userdb carry this name (letter case aside) with this password.
// A login wants exactly one.
int matchingUsers(const QString& name, const QString& password);

namespace users {

// A user as a window showed it: the stored password hash is salted afresh at every write, so
// it tells whether the row was changed since.
struct Account
{
    QString name;
    QString passwordHash;
};

// Every user, in the order the users were added.
QList<Account> accounts();
QStringList names();
// Whether a user of this name (letter case aside) exists.
bool exists(const QString& name);
// Stores password (hashed) for the user of this name.
void setPassword(const QString& name, const QString& password);
// Adds a user with password (hashed).
void add(const QString& name, const QString& password);
// The reset and the delete of a user as shown: ConflictError, and nothing written, when another
// copy changed or deleted that user since.
// The reset gives the user as now stored.
Account resetPassword(const Account& shown, const QString& password);
void remove(const Account& shown);

} // namespace users
