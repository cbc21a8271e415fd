#pragma once

#include <QString>

// How many rows of userdb carry this name (letter case aside) with this password.
// A login wants exactly one.
int matchingUsers(const QString& name, const QString& password);
