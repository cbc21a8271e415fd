#include "settings/settings.h"

#include "data/errors.h"

#include <QFileInfo>
#include <QSettings>

namespace settings {

QString keyPath()
{
    return QStringLiteral("\\Software\\morvath\\qvbook");
}

std::optional<QString> read(const QString& name)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    // A key that cannot be opened counts as missing; nothing is created by reading.
    if (!QFileInfo(s.fileName()).isFile() || s.status() == QSettings::AccessError)
        return std::nullopt;
    const QVariant value = s.value(name);
    if (!value.isValid())
        return QString();
    if (value.typeId() != QMetaType::QString)
        throw SettingsError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value.toString();
}

QString readText(const QString& name)
{
    try {
        return read(name).value_or(QString());
    } catch (const SettingsError&) {
        return {};
    }
}

void write(const QString& name, const QString& text)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("morvath"),
                QStringLiteral("qvbook"));
    const bool existed = QFileInfo(s.fileName()).isFile();
    s.setValue(name, text);
    s.sync();
    if (s.status() != QSettings::NoError) {
        if (!existed)
            throw SettingsError(QStringLiteral("Failed to create key %1").arg(keyPath()));
        throw SettingsError(QStringLiteral("Failed to set data for '%1'").arg(name));
    }
}

} // namespace settings
