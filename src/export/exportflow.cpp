#include "export/exportflow.h"

#include "cashbook/reportrender.h"
#include "data/errors.h"
#include "export/csvwriter.h"
#include "export/tablesource.h"
#include "gui/messages.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QUrl>

#include <cstdio>

namespace exporting {

namespace {

// The file to write, after the question whether to replace one that exists; empty when none.
QString target(QWidget* parent, const QString& filter, const QString& suffix)
{
    const QString fileName = messages().saveFileName(parent, filter, suffix);
    if (fileName.trimmed().isEmpty())
        return QString();
    const QFileInfo info(fileName);
    if (info.exists() && !info.isDir() &&
        !messages().yesNo(
            parent, QStringLiteral("提示"),
            QStringLiteral("已存在文件（") + fileName + QStringLiteral("），是否覆盖？"), true))
        return QString();
    return fileName;
}

} // namespace

bool savePdf(QWidget* parent, const report::Content& content, const report::Options& options,
             const QString& documentName)
{
    const QString fileName =
        target(parent, QStringLiteral("PDF 文件 (*.pdf)"), QStringLiteral("pdf"));
    if (fileName.isEmpty())
        return false;
    // Written beside the target and put in its place only when whole.
    const QFileInfo info(fileName);
    QTemporaryFile part(info.absolutePath() + u'/' + info.fileName() +
                        QStringLiteral(".XXXXXX.part"));
    QString failure;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        if (info.isDir())
            throw QuenvaleError(QStringLiteral("%1 是一个文件夹").arg(fileName));
        if (!part.open())
            throw QuenvaleError(part.errorString());
        part.close();
        report::renderToPdf(part.fileName(), content, options, documentName);
        // Replaces an older file in one step: it is never missing nor half written.
        if (std::rename(QFile::encodeName(part.fileName()).constData(),
                        QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
            throw QuenvaleError(QStringLiteral("无法写入%1").arg(fileName));
        part.setAutoRemove(false);
    } catch (const QuenvaleError& e) {
        failure = e.message();
    }
    QGuiApplication::restoreOverrideCursor();
    if (!failure.isNull()) {
        messages().information(parent, QStringLiteral("导出PDF文件失败：") + failure);
        return false;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    return true;
}

bool saveTable(QWidget* parent, const TableSource& table, Format format,
               const xlsx::Heading& heading)
{
    const bool csvFile = format == Format::Csv;
    const QString fileName =
        csvFile
            ? messages().saveFileName(parent, QStringLiteral("CSV文件 (*.csv)"),
                                      QStringLiteral("csv"))
            : messages().saveFileName(parent, QStringLiteral("Microsoft Excel 2007文件 (*.xlsx)"),
                                      QStringLiteral("xlsx"));
    if (fileName.trimmed().isEmpty())
        return false;
    const QFileInfo target(fileName);
    if (target.exists() && !target.isDir() &&
        !messages().yesNo(
            parent, QStringLiteral("提示"),
            QStringLiteral("已存在文件（") + fileName + QStringLiteral("），是否覆盖？"), true))
        return false;

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure;
    try {
        if (csvFile)
            csv::writeFile(table, fileName);
        else
            xlsx::writeFile(table, fileName, heading);
    } catch (const QuenvaleError& e) {
        failure = e.message();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    QGuiApplication::restoreOverrideCursor();
    if (!failure.isNull()) {
        messages().information(parent, (csvFile ? QStringLiteral("导出CSV文件失败：")
                                                : QStringLiteral("导出Excel文件失败：")) +
                                           failure);
        return false;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(target.absoluteFilePath()));
    return true;
}

} // namespace exporting
