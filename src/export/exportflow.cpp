#include "export/exportflow.h"

#include "data/errors.h"
#include "export/csvwriter.h"
#include "export/tablesource.h"
#include "gui/messages.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace exporting {

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
