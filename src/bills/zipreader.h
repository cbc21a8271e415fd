#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct zip;

namespace bills {

// A zip archive held in memory, read through libzip: the .xlsx container and WeChat's
// password-protected bill.
class ZipReader
{
public:
    // Throws BillError when the bytes are no zip archive.
    explicit ZipReader(const QByteArray& bytes);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    QStringList names() const;
    bool contains(const QString& name) const;
    bool isEncrypted(const QString& name) const;
    // The entry's bytes, at most kMaxBillBytes. Throws BillPasswordError when the entry is
    // encrypted and the password is missing or wrong, BillError otherwise.
    QByteArray read(const QString& name, const QString& password = {}) const;

private:
    QByteArray m_bytes; // libzip reads from this buffer while the archive is open
    zip* m_archive = nullptr;
};

} // namespace bills
