// The main window's side of a login.
#include "app/mainform.h"

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
}

int TMainForm::loginLogId() const
{
    return LoginLogId;
}

void TMainForm::closeWindow()
{
    close();
}
