#pragma once

#include <QString>

// Passwords are kept as libsodium hashes of the lower-cased text, so a login stays
// case-insensitive while no password is ever stored as typed.
namespace passwords {

QString hash(const QString& password);
bool verify(const QString& storedHash, const QString& password);

} // namespace passwords
