#pragma once

#include <QString>

// The two sides of a login, so that the login window and the main window know each other
// only through these.

// What the main window needs of the login window: shown on activation until someone has
// logged in, and the logout step before the window closes.
class LoginGate
{
public:
    virtual ~LoginGate() = default;
    virtual void showLogin() = 0;
    // Throws when the logout time cannot be written; the close is then abandoned.
    virtual void logout() = 0;
};

// What the login window needs of the main window, its parent.
class LoginHost
{
public:
    virtual ~LoginHost() = default;
    // Lists the records as the query controls stand ("全部记录").
    virtual void listRecords() = 0;
    // The first listing after a login as the stored month choice asks: this month only, or
    // every record.
    virtual void showFirstView(bool monthOnly) = 0;
    // Remembers this run's login-log row and shows who is logged in.
    virtual void loggedIn(const QString& user, int logId) = 0;
    virtual int loginLogId() const = 0;
    // Leaving the login window without a login ends the program.
    virtual void closeWindow() = 0;
};
