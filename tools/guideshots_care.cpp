// The guide's pictures of keeping the book safe: backups, the history and the bin, and what
// the messages look like when something goes wrong; and the guide's own window.
#include "guideshots_parts.h"

#include "app/bookplace.h"
#include "app/mainform.h"
#include "bills/bankmapping.h"
#include "bills/billimportwindow.h"
#include "bills/bookbillstore.h"
#include "cashbook/closingwindow.h"
#include "cashbook/entrypanel.h"
#include "cashbook/printpreview.h"
#include "cashbook/recordgrid.h"
#include "cashbook/reportpreview.h"
#include "cashbook/settlementwindow.h"
#include "data/bookwriter.h"
#include "data/closing.h"
#include "data/dataset.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/history.h"
#include "data/passwords.h"
#include "data/recyclebin.h"
#include "data/schema.h"
#include "data/server.h"
#include "data/sql.h"
#include "gui/datefield.h"
#include "gui/messages.h"
#include "help/findbar.h"
#include "help/guidewindow.h"
#include "history/historywindow.h"
#include "history/recyclebinwindow.h"
#include "maintenance/autobackup.h"
#include "maintenance/bookcopy.h"
#include "maintenance/repairdb.h"
#include "stats/agingwindow.h"
#include "stats/journalwindow.h"
#include "stats/statementwindow.h"
#include "stats/statswindow.h"
#include "users/changepass.h"
#include "users/login.h"
#include "users/usergl.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>

using namespace guideshots;

namespace {

void backups()
{
    MainForm->ToolButton17Click();
    Tbeifen* window = MainForm->beifen;
    window->Edit1->setText(QStringLiteral("/home/wang/qvbook.mdb"));
    save(window, QStringLiteral("backup.png"));
    window->Edit2->setText(QStringLiteral("/media/wang/U盘/qvbook.mdb"));
    // The window is small: its restore band is scrolled to, then the automatic backups.
    window->scrollArea->verticalScrollBar()->setValue(window->Panel4->y());
    save(window, QStringLiteral("restore.png"));
    window->close();
    QApplication::processEvents();
    // Three evenings' automatic backups.
    const QString folder = autobackup::folderFor(dmfm->databasePath());
    QDir().mkpath(folder);
    for (const char* taken : {"20250328-180211", "20250329-175840", "20250331-180503"})
        bookcopy::snapshot(dmfm->databasePath(),
                           folder + QStringLiteral("/data-%1.mdb").arg(QLatin1String(taken)));
    MainForm->ToolButton17Click();
    window = MainForm->beifen;
    window->autoBackupList->setCurrentItem(window->autoBackupList->topLevelItem(1));
    window->scrollArea->verticalScrollBar()->setValue(window->Panel5->y());
    save(window, QStringLiteral("auto-backups.png"));
    window->close();
    QApplication::processEvents();
}

history::Values rowValues(QSqlDatabase& db, qint64 key)
{
    QSqlQuery q = sql::exec(db,
                            QStringLiteral("select a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\","
                                           "\"6\",o from data where id=?"),
                            {key});
    history::Values values;
    if (q.next())
        for (int c = 0; c < schema::dataColumns().size(); ++c)
            values.append({schema::dataColumns().at(c), q.value(c)});
    return values;
}

qint64 firstKey(QSqlDatabase& db, const QString& condition)
{
    QSqlQuery q = sql::exec(db, QStringLiteral("select id from data where ") + condition);
    return q.next() ? q.value(0).toLongLong() : 0;
}

// A day's work as the history keeps it: users added, a record added, one modified, two deleted;
// the deleted ones come back from the bin once pictured, so later pictures show every record.
void historyAndBin()
{
    const QString admin = QString::fromUtf16(schema::kAdministrator);
    QList<history::Entry> binned;
    {
        sql::ScopedConnection conn(dmfm->databasePath());
        QSqlDatabase& db = conn.db();
        auto write = [&db](const QString& user, const QString& action,
                           const history::Change& change, const QString& statement = {},
                           const QVariantList& values = {}) {
            sql::Transaction tx(db);
            if (!statement.isEmpty())
                sql::exec(db, statement, values);
            history::append(db, user, action, {change});
            tx.commit();
        };
        for (const QString& user : {QStringLiteral("张会计"), QStringLiteral("李出纳")})
            write(admin, QStringLiteral("增加用户"),
                  {history::Kind::Rows,
                   QStringLiteral("userdb"),
                   0,
                   {},
                   {{QStringLiteral("username"), user}}});
        const qint64 added = firstKey(db, QStringLiteral("1=1 order by id desc"));
        write(QStringLiteral("张会计"), QString(),
              {history::Kind::Added, QStringLiteral("data"), added, {}, rowValues(db, added)});
        const qint64 paid = firstKey(db, QStringLiteral("a='收入' and \"3\">0 order by id desc"));
        const history::Values before = rowValues(db, paid);
        write(QStringLiteral("张会计"), QString(),
              {history::Kind::Changed,
               QStringLiteral("data"),
               paid,
               before,
               {{QStringLiteral("2"), before.at(4).second}, {QStringLiteral("3"), 0.0}}},
              QStringLiteral("update data set \"2\"=\"1\", \"3\"=0 where id=?"), {paid});
        for (const QString& user : {QStringLiteral("张会计"), QStringLiteral("李出纳")}) {
            const qint64 key = firstKey(db, QStringLiteral("a='支出' order by id"));
            write(user, QString(),
                  {history::Kind::Removed, QStringLiteral("data"), key, rowValues(db, key), {}},
                  QStringLiteral("delete from data where id=?"), {key});
        }
        binned = recyclebin::list(db);
    }
    history::setOperator(admin);
    MainForm->Button12Click();
    MainForm->historyClick();
    MainForm->historyWindow->resize(1180, 560);
    save(MainForm->historyWindow, QStringLiteral("history.png"));
    MainForm->historyWindow->close();
    MainForm->recycleBinClick();
    MainForm->recycleBinWindow->view->selectRow(0);
    save(MainForm->recycleBinWindow, QStringLiteral("recycle-bin.png"));
    MainForm->recycleBinWindow->close();
    QApplication::processEvents();
    QSqlDatabase db = dmfm->connection();
    for (const history::Entry& entry : binned)
        recyclebin::restore(db, entry, admin);
    MainForm->Button12Click();
}

void troubles()
{
    saveBox(QStringLiteral("first-start.png"),
            [] { bookplace::askHowToStart(QStringLiteral("/home/wang/.local/share/Quenvale")); });
    errorBox(QStringLiteral("error-disk-full.png"), QStringLiteral("database or disk is full"));
    errorBox(QStringLiteral("error-locked.png"), QStringLiteral("database is locked"));
    // Another program deletes the record this one has open for modifying.
    EntryPanel* panel = MainForm->Panel3;
    MainForm->DBGridEh1->selectRow(0);
    panel->openForModify();
    const qint64 key = dmfm->ADOQuery15->key();
    {
        sql::ScopedConnection other(dmfm->databasePath());
        sql::exec(other.db(), QStringLiteral("delete from data where id=?"), {key});
    }
    QString detail;
    struct Agreeing final : MessageService
    {
        void warning(QWidget*, const QString&) override {}
        void information(QWidget*, const QString&) override {}
        void critical(QWidget*, const QString&) override {}
        bool question(QWidget*, const QString&, const QString&) override { return true; }
        bool yesNo(QWidget*, const QString&, const QString&, bool) override { return true; }
        QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
        QString openFileName(QWidget*) override { return {}; }
    } agreeing;
    setMessageService(&agreeing);
    try {
        panel->Button3Click();
    } catch (const QuenvaleError& e) {
        detail = e.message();
    }
    setMessageService(g_quiet);
    panel->hide();
    errorBox(QStringLiteral("error-changed.png"), detail);
    MainForm->Button12Click();
    saveBox(QStringLiteral("error-server.png"), [] {
        try {
            server::open(QStringLiteral("postgresql://bookkeeper@192.0.2.10:5432/quenvale"
                                        "?connect_timeout=3"),
                         QStringLiteral("guide-shot"));
        } catch (const QuenvaleError& e) {
            messages().critical(nullptr, e.message());
        }
    });
    QSqlDatabase::removeDatabase(QStringLiteral("guide-shot"));
}

void guideWindow()
{
    MainForm->guideClick();
    GuideWindow* window = MainForm->guideWindow;
    window->resize(1100, 720);
    window->showSection(QStringLiteral("备份和恢复"));
    window->findBar->open();
    window->findBar->findEdit->setText(QStringLiteral("数据备份"));
    QApplication::processEvents();
    save(window, QStringLiteral("guide-window.png"));
    window->close();
}

} // namespace

namespace guideshots {

void keepingSafe()
{
    backups();
    historyAndBin();
    troubles();
    guideWindow();
}

} // namespace guideshots
