#include "skins/skins.h"

#include "settings/settings.h"

#include <QApplication>
#include <QFile>

// The style sheets live in a static library: their resources are registered by hand.
static void registerSkinResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(skins);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace skins {

namespace {
int currentSkin = -1;
}

void apply(int index)
{
    if (index < 0 || index >= kCount)
        return;
    registerSkinResources();
    QFile file(QStringLiteral(":/skins/skin%1.qss").arg(index));
    if (!file.open(QIODevice::ReadOnly))
        return;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    currentSkin = index;
}

int current()
{
    return currentSkin;
}

void choose(int index)
{
    apply(index);
    settings::write(settings::kSkin, QString::number(index));
}

void restore()
{
    const std::optional<QString> stored = settings::read(settings::kSkin);
    if (!stored)
        return;
    const QString& text = *stored;
    if (text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'4')
        apply(text.at(0).unicode() - u'0');
}

} // namespace skins
