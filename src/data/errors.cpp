#include "data/errors.h"

namespace {

QString withDetail(const QString& explanation, const QString& detail)
{
    // One line: logs and drivers that read a line at a time keep the detail.
    return explanation + QStringLiteral("（系统信息：") + detail + QStringLiteral("）");
}

} // namespace

QString explainedFailure(const QString& detail)
{
    struct Known
    {
        const char* phrase;
        const char16_t* explanation;
    };
    static const char16_t* const fullDisk =
        u"磁盘空间已满，数据没有写入账本。请删除不需要的文件，腾出磁盘空间后再试。";
    static const char16_t* const lostServer =
        u"与服务器账本的连接已断开（服务器可能已重新启动，或网络中断），这一操作没有完成。"
        u"已经保存的数据不受影响，请稍后再试一次。";
    static const Known known[] = {
        {"database or disk is full", fullDisk},
        {"No space left on device", fullDisk},
        // libpq's words for a connection the server or the network ended.
        {"server closed the connection unexpectedly", lostServer},
        {"terminating connection due to administrator command", lostServer},
        {"no connection to the server", lostServer},
        {"could not receive data from server", lostServer},
        {"could not send data to server", lostServer},
        {"readonly database",
         u"账本文件或它所在的文件夹是只读的，数据没有写入。请取消 data.mdb 的只读属性，"
         u"或把程序放到有写入权限的文件夹后再试。"},
        {"database is locked", u"账本正被另一个程序（或另一个正在运行的本程序）使用，暂时不能写入。"
                               u"请稍候再试，或关闭其他使用账本的程序。"},
        {"database table is locked",
         u"账本正被另一个程序（或另一个正在运行的本程序）使用，暂时不能写入。"
         u"请稍候再试，或关闭其他使用账本的程序。"},
        {"Row cannot be located for updating",
         u"这条记录已被另一个程序修改或删除，没有写入。请点“全部记录”刷新后再试。"},
    };
    for (const Known& k : known)
        if (detail.contains(QLatin1String(k.phrase), Qt::CaseInsensitive))
            return withDetail(QString::fromUtf16(k.explanation), detail);
    return detail;
}

QString explainedFileFailure(const QString& detail)
{
    const QString explained = explainedFailure(detail);
    if (explained != detail)
        return explained;
    return withDetail(QStringLiteral("文件没有写成。请检查：目标文件夹是否存在并可写入，"
                                     "磁盘是否已满，同名文件是否正被其他程序（如 Excel）打开。"),
                      detail.isEmpty() ? QStringLiteral("Unknown error") : detail);
}
