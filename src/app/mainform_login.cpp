// The main window's side of a login.
#include "app/mainform.h"
#include "data/dm.h"
#include "data/history.h"
#include "gui/messages.h"
#include "maintenance/autobackup.h"
#include "users/logingate.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

void TMainForm::listRecords()
{
    Button12Click();
}

void TMainForm::showFirstView(bool monthOnly)
{
    if (monthOnly) {
        CheckBox1->setChecked(true);
    } else {
        setBaseQuery(ListingQuery::allRecords());
        CheckBox1->setChecked(false);
    }
    Button12Click();
}

void TMainForm::loggedIn(const QString& user, int logId)
{
    LoginLogId = logId;
    setStatusText(1, user);
    // Whoever logged in signs this copy's entries in the change history.
    history::setOperator(user);
}

int TMainForm::loginLogId() const
{
    return LoginLogId;
}

void TMainForm::closeWindow()
{
    close();
}

bool TMainForm::writeLogout()
{
    QString why;
    // A server that went away is connected again by the next statement: one more try.
    for (int attempt = 0; attempt < (dmfm && dmfm->isServer() ? 2 : 1); ++attempt) {
        try {
            m_loginGate->logout();
            return true;
        } catch (const std::exception& e) {
            why = QString::fromUtf8(e.what());
        }
    }
    messages().critical(this, explainedFailure(why) +
                                  QStringLiteral("\n\n退出时间没能写入登录日志，程序照常关闭。"));
    return false;
}

void TMainForm::takeExitBackup()
{
    const int kept = autobackup::keptCount();
    if (kept == 0 || !dmfm)
        return;
    const QString book = dmfm->isServer() ? dmfm->fileName() : dmfm->databasePath();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        autobackup::take(book);
        autobackup::prune(book, kept);
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        messages().critical(this,
                            QStringLiteral("退出时的自动备份没有完成（账本本身没有受影响）：") +
                                explainedFailure(QString::fromUtf8(e.what())));
        return;
    }
    QApplication::restoreOverrideCursor();
}
