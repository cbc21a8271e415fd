#include "shortcut/shortcut.h"

#include "app/icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace shortcut {

namespace {

// Desktop entries quote arguments with double quotes and escape these characters.
QString quotedExec(const QString& path)
{
    QString escaped;
    for (QChar ch : path) {
        if (ch == u'"' || ch == u'`' || ch == u'$' || ch == u'\\')
            escaped += u'\\';
        escaped += ch;
    }
    return u'"' + escaped + u'"';
}

QString iconPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/icons");
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/quenvale.png");
    icons::program().pixmap(64, 64).save(path, "PNG");
    return path;
}

} // namespace

QString launcherPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) +
           QStringLiteral("/Quenvale.desktop");
}

void place()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return;
    const QString executable = QCoreApplication::applicationFilePath();
    const QString folder = QFileInfo(executable).absolutePath();
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Version=1.0\n"
                                        "Name=Quenvale\n"
                                        "Comment=Quenvale\n"
                                        "Exec=%1\n"
                                        "Path=%2\n"
                                        "Icon=%3\n"
                                        "Terminal=false\n"
                                        "Categories=Office;Finance;\n")
                             .arg(quotedExec(executable), folder, iconPath());
    QSaveFile file(launcherPath());
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(text.toUtf8());
    if (!file.commit())
        return;
    QFile::setPermissions(launcherPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                              QFile::ExeOther);
}

} // namespace shortcut
