#include "bills/zipreader.h"

#include "bills/billtypes.h"

#include <zip.h>

namespace bills {

namespace {

QString zipText(zip_error_t* error)
{
    return QString::fromUtf8(zip_error_strerror(error));
}

BillPasswordError missingPassword()
{
    return BillPasswordError(QStringLiteral("此账单是加密的压缩包，请输入解压密码。"), false);
}

BillPasswordError wrongPassword()
{
    return BillPasswordError(QStringLiteral("解压密码不正确，请重新输入。"), true);
}

} // namespace

ZipReader::ZipReader(const QByteArray& bytes) : m_bytes(bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(
        m_bytes.constData(), static_cast<zip_uint64_t>(m_bytes.size()), 0, &error);
    if (source)
        m_archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!m_archive) {
        if (source)
            zip_source_free(source);
        const QString detail = zipText(&error);
        zip_error_fini(&error);
        throw BillError(QStringLiteral("压缩文件已损坏：%1").arg(detail));
    }
    zip_error_fini(&error);
}

ZipReader::~ZipReader()
{
    zip_discard(m_archive);
}

QStringList ZipReader::names() const
{
    QStringList result;
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name =
                zip_get_name(m_archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS))
            result.append(QString::fromUtf8(name));
    return result;
}

bool ZipReader::contains(const QString& name) const
{
    return zip_name_locate(m_archive, name.toUtf8().constData(), ZIP_FL_ENC_GUESS) >= 0;
}

bool ZipReader::isEncrypted(const QString& name) const
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_archive, name.toUtf8().constData(), ZIP_FL_ENC_GUESS, &st) != 0)
        return false;
    return (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
}

QByteArray ZipReader::read(const QString& name, const QString& password) const
{
    const QByteArray utf8 = name.toUtf8();
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(m_archive, utf8.constData(), ZIP_FL_ENC_GUESS, &st) != 0)
        throw BillError(QStringLiteral("压缩文件中没有 %1").arg(name));
    const bool encrypted =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    // The stated size is checked first and the reading is capped as well, so a forged
    // header cannot make us unpack a zip bomb into memory.
    if ((st.valid & ZIP_STAT_SIZE) && st.size >= static_cast<zip_uint64_t>(kMaxBillBytes))
        throw BillError(QStringLiteral("压缩文件中的账单超过100MB，无法导入。"));
    if (encrypted && password.isEmpty())
        throw missingPassword();
    if (encrypted && !zip_encryption_method_supported(st.encryption_method, 0))
        throw BillError(QStringLiteral("不支持此压缩文件的加密方式。"));

    const QByteArray secret = password.toUtf8();
    zip_file_t* file = encrypted ? zip_fopen_encrypted(m_archive, utf8.constData(),
                                                       ZIP_FL_ENC_GUESS, secret.constData())
                                 : zip_fopen(m_archive, utf8.constData(), ZIP_FL_ENC_GUESS);
    if (!file) {
        const int code = zip_error_code_zip(zip_get_error(m_archive));
        if (code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_NOPASSWD)
            throw wrongPassword();
        throw BillError(QStringLiteral("无法读取压缩文件中的 %1：%2")
                            .arg(name, zipText(zip_get_error(m_archive))));
    }
    QByteArray content;
    char buffer[65536];
    zip_int64_t got = 0;
    bool failed = false;
    while ((got = zip_fread(file, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<qsizetype>(got));
        if (content.size() >= kMaxBillBytes) {
            zip_fclose(file);
            throw BillError(QStringLiteral("压缩文件中的账单超过100MB，无法导入。"));
        }
    }
    failed = got < 0;
    const QString detail = zipText(zip_file_get_error(file));
    // A wrong traditional password passes its one-byte check now and then; the checksum
    // then fails, which means the same to the operator.
    if (zip_fclose(file) != 0)
        failed = true;
    if (failed) {
        if (encrypted)
            throw wrongPassword();
        throw BillError(QStringLiteral("无法读取压缩文件中的 %1：%2").arg(name, detail));
    }
    return content;
}

} // namespace bills
