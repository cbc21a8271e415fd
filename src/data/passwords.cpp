#include "data/passwords.h"

#include "data/errors.h"

#include <sodium.h>

namespace passwords {

namespace {

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw QuenvaleError(QStringLiteral("libsodium could not be initialised"));
}

} // namespace

QString hash(const QString& password)
{
    ensureSodium();
    const QByteArray folded = password.toLower().toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, folded.constData(), static_cast<unsigned long long>(folded.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw QuenvaleError(QStringLiteral("Out of memory while hashing a password"));
    return QString::fromLatin1(out);
}

bool verify(const QString& storedHash, const QString& password)
{
    ensureSodium();
    const QByteArray stored = storedHash.toLatin1();
    if (stored.isEmpty() || stored.size() >= crypto_pwhash_STRBYTES)
        return false;
    char buffer[crypto_pwhash_STRBYTES] = {};
    memcpy(buffer, stored.constData(), static_cast<size_t>(stored.size()));
    const QByteArray folded = password.toLower().toUtf8();
    return crypto_pwhash_str_verify(buffer, folded.constData(),
                                    static_cast<unsigned long long>(folded.size())) == 0;
}

} // namespace passwords
