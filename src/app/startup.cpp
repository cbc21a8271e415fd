#include "app/startup.h"

#include "app/mainform.h"
#include "app/messages.h"
#include "data/dm.h"
#include "data/legacy.h"
#include "users/login.h"

#include <QApplication>
#include <QFont>
#include <QProxyStyle>

#include <cstdio>

namespace {

// Hints show as soon as the mouse rests on a control.
class PromptHints final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

namespace startup {

void prepareApplication(QApplication& app)
{
    QApplication::setStyle(new PromptHints);
    QApplication::setApplicationName(QStringLiteral("Quenvale"));
    // The forms name 宋体; on this platform the Noto CJK faces stand in for it.
    QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"));
    QFont::insertSubstitution(QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"));
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(12);
    app.setFont(font);
}

namespace {

// A book still in the Access format is converted once, if the operator agrees; false ends
// the program.
bool convertAccessBook(const QString& path)
{
    if (!legacy::isAccessBook(path))
        return true;
    if (!messages().yesNo(
            nullptr, applicationTitle(),
            QStringLiteral("检测到 Access 格式的账本 data.mdb。是否转换为本程序的数据库格式？"
                           "原文件将保留为 data.mdb.access。"),
            true))
        return false;
    try {
        const legacy::Counts counts = legacy::convertBook(path);
        messages().information(
            nullptr, QStringLiteral("转换完成：导入记录 %1 条，用户 %2 个，登录日志 %3 条。")
                         .arg(counts.records)
                         .arg(counts.users)
                         .arg(counts.logins));
        return true;
    } catch (const QuenvaleError& e) {
        const QString text = QStringLiteral("转换失败：") + e.message();
        std::fprintf(stderr, "Quenvale: %s\n", text.toLocal8Bit().constData());
        messages().critical(nullptr, text);
        return false;
    }
}

} // namespace

bool createWindows()
{
    if (!convertAccessBook(QStringLiteral("data.mdb")))
        return false;
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
