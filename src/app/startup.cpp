#include "app/startup.h"

#include "app/mainform.h"
#include "app/messages.h"
#include "data/dm.h"
#include "users/login.h"

#include <QApplication>
#include <QFont>

#include <cstdio>

namespace startup {

void prepareApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("Quenvale"));
    // The forms name 宋体; on this platform the Noto CJK faces stand in for it.
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"));
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(12);
    app.setFont(font);
}

bool createWindows()
{
    MainForm = new TMainForm();
    loginfm = new Tloginfm(MainForm);
    MainForm->setLoginGate(loginfm);
    try {
        dmfm = new Tdmfm(QStringLiteral("data.mdb"));
    } catch (const QuenvaleError& e) {
        std::fprintf(stderr, "Quenvale: %s\n", e.message().toLocal8Bit().constData());
        messages().critical(nullptr, e.message());
        delete MainForm;
        MainForm = nullptr;
        loginfm = nullptr;
        return false;
    }
    MainForm->bindData();
    MainForm->show();
    return true;
}

void destroyWindows()
{
    delete MainForm; // owns the login window
    MainForm = nullptr;
    loginfm = nullptr;
    delete dmfm;
    dmfm = nullptr;
}

int run(QApplication& app)
{
    prepareApplication(app);
    if (!createWindows())
        return 1;
    const int status = app.exec();
    destroyWindows();
    return status;
}

} // namespace startup
