#include "shortcut/shortcut.h"

#include "gui/icons.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace shortcut {

namespace {

// A value of type string: backslash and control characters are escaped.
QString stringValue(const QString& text)
{
    QString escaped;
    for (QChar ch : text) {
        if (ch == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (ch == u'\n')
            escaped += QStringLiteral("\\n");
        else if (ch == u'\t')
            escaped += QStringLiteral("\\t");
        else if (ch == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += ch;
    }
    return escaped;
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

QString entryText(const QString& executable, const QString& icon, bool forMenu)
{
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Version=1.0\n"
                                  "Name=Quenvale\n");
    if (forMenu)
        text += QStringLiteral("Name[zh_CN]=Quenvale 现金账\n"
                               "GenericName=Cash book\n"
                               "GenericName[zh_CN]=现金账\n");
    text += QStringLiteral("Comment=Quenvale\n"
                           "Exec=%1\n"
                           "Path=%2\n"
                           "Icon=%3\n"
                           "Terminal=false\n"
                           "Categories=Office;Finance;\n")
                .arg(execValue(executable), stringValue(QFileInfo(executable).absolutePath()),
                     stringValue(icon));
    return text;
}

// Replaces the file in one step; false when it cannot be written.
bool writeEntry(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    if (!file.commit())
        return false;
    // Desktops start only launchers marked executable.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther);
    return true;
}

} // namespace

QString execValue(const QString& program)
{
    // Inside double quotes these four take a backslash; a literal % is written %%.
    auto quoted = [](const QString& argument) -> QString {
        QString text = QStringLiteral("\"");
        for (QChar ch : argument) {
            if (ch == u'"' || ch == u'`' || ch == u'$' || ch == u'\\')
                text += u'\\';
            text += ch;
            if (ch == u'%')
                text += u'%';
        }
        return text + u'"';
    };
    QString line = quoted(program);
    // GLib looks the first word up before it turns %% back into %: a program whose path holds
    // a % is started through the shell, which every desktop finds.
    if (program.contains(u'%'))
        line = QStringLiteral("sh -c ") + quoted(QStringLiteral("exec \"$0\"")) + u' ' + line;
    // The string escapes apply on top: a backslash in the path ends up as four.
    return stringValue(line);
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString launcherPath()
{
    return desktopFolder() + QStringLiteral("/Quenvale.desktop");
}

QString menuEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation) +
           QStringLiteral("/quenvale.desktop");
}

void place(const QString& executable)
{
    const QString desktop = desktopFolder();
    const QString home = QDir::homePath();
    // A bare account has no desktop folder yet; the standard one is made, never the home itself.
    if (!desktop.isEmpty() && !QFileInfo(desktop).isDir() &&
        QDir::cleanPath(desktop) != QDir::cleanPath(home))
        QDir().mkpath(desktop);
    const QString icon = iconPath();
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        writeEntry(launcherPath(), entryText(executable, icon, false));
    const QString menu = QFileInfo(menuEntryPath()).absolutePath();
    if (QDir().mkpath(menu))
        writeEntry(menuEntryPath(), entryText(executable, icon, true));
}

void place()
{
    place(QCoreApplication::applicationFilePath());
}

} // namespace shortcut
