#include "app/bookplace.h"

#include "data/dm.h"
#include "data/legacy.h"
#include "data/schema.h"
#include "gui/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

#ifndef QUENVALE_TEMPLATE_FROM_BIN
#define QUENVALE_TEMPLATE_FROM_BIN "../share/quenvale"
#endif

namespace bookplace {

namespace {

const QString kBook = QStringLiteral("data.mdb");

void report(const QString& text)
{
    std::fprintf(stderr, "Quenvale: %s\n", text.toLocal8Bit().constData());
    messages().critical(nullptr, text);
}

// A name beside the book for a file still being written; a leftover from a crash is replaced.
QString scratchName(const QString& folder)
{
    const QString name = QDir(folder).filePath(QStringLiteral(".data.mdb.new"));
    QFile::remove(name);
    return name;
}

// Moves a finished scratch file into place; never over an existing book.
bool settle(const QString& scratch, const QString& book)
{
    if (QFile::rename(scratch, book))
        return true;
    QFile::remove(scratch);
    report(QStringLiteral("无法保存账本 %1。").arg(QDir::toNativeSeparators(book)));
    return false;
}

bool createBook(const QString& folder, const QString& book)
{
    const QString scratch = scratchName(folder);
    try {
        schema::createFile(scratch);
    } catch (const QuenvaleError& e) {
        QFile::remove(scratch);
        report(QStringLiteral("无法新建账本：") + e.message());
        return false;
    }
    return settle(scratch, book);
}

// Copies the chosen file in; an Access book is left for the conversion question at start-up.
// False, after saying why, when the file cannot be taken: the question comes back.
bool takeBook(const QString& chosen, const QString& folder, const QString& book)
{
    const QString scratch = scratchName(folder);
    QString refusal;
    if (!QFile::copy(chosen, scratch)) {
        refusal = QStringLiteral("无法复制 %1。").arg(QDir::toNativeSeparators(chosen));
    } else if (!legacy::isAccessBook(scratch)) {
        try {
            Tdmfm probe(scratch);
        } catch (const QuenvaleError& e) {
            refusal = QStringLiteral("所选文件不是本程序的账本：%1\n%2")
                          .arg(QDir::toNativeSeparators(chosen), e.message());
        }
    }
    if (!refusal.isEmpty()) {
        QFile::remove(scratch);
        messages().critical(nullptr, refusal);
        return false;
    }
    QFile(scratch).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return settle(scratch, book);
}

} // namespace

int askHowToStart(const QString& folder)
{
    const QString text =
        QStringLiteral("数据文件夹 %1 中还没有账本 data.mdb。\n"
                       "新建一个空账本（管理员 超级管理员，密码 574），"
                       "还是选择一个已有的账本文件（本程序的账本或 Access 账本）复制进来？")
            .arg(QDir::toNativeSeparators(folder));
    const QStringList buttons = {QStringLiteral("新建空账本"), QStringLiteral("选择已有账本…"),
                                 QStringLiteral("退出")};
    return messages().choice(nullptr, applicationTitle(), text, buttons);
}

QString templatePath(const QString& programDir)
{
    return QDir::cleanPath(
        QDir(programDir).filePath(QStringLiteral(QUENVALE_TEMPLATE_FROM_BIN "/") + kBook));
}

bool isInstalled(const QString& programDir)
{
    const QFileInfo folder(programDir);
    return !folder.isDir() || !folder.isWritable() || QFileInfo::exists(templatePath(programDir));
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool prepare(const QString& programDir)
{
    if (!isInstalled(programDir))
        return true;
    const QString folder = dataFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        report(QStringLiteral("无法使用数据文件夹 %1。").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    const QString book = QDir(folder).filePath(kBook);
    if (QFileInfo::exists(book))
        return true;
    for (;;) {
        switch (askHowToStart(folder)) {
        case 0:
            return createBook(folder, book);
        case 1: {
            const QString chosen = messages().openFileName(nullptr);
            if (!chosen.isEmpty() && takeBook(chosen, folder, book))
                return true;
            break;
        }
        default:
            return false;
        }
    }
}

} // namespace bookplace
