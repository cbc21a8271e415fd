// The user guide's pictures: each task of docs/用户手册.md shown in the real window, and the
// program's real message boxes for what can go wrong.
#include "guideshots.h"
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

namespace guideshots {

QString g_folder;
MessageService* g_quiet = nullptr;

void save(QWidget* w, const QString& name)
{
    QApplication::processEvents();
    w->grab().save(QDir(g_folder).filePath(name), "PNG");
    std::printf("wrote %s/%s\n", qPrintable(g_folder), qPrintable(name));
}

// Runs show with the program's real boxes; the first box it opens is pictured and closed as
// Escape would close it.
void saveBox(const QString& name, const std::function<void()>& show)
{
    setMessageService(nullptr);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, name] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        save(box, name);
        box->close();
        poll->deleteLater();
    });
    poll->start(20);
    show();
    setMessageService(g_quiet);
}

void saveMenu(QMenu* menu, const QString& name)
{
    menu->popup(QPoint(0, 0));
    save(menu, name);
    menu->hide();
}

void errorBox(const QString& name, const QString& detail)
{
    saveBox(name, [detail] { messages().critical(MainForm, explainedFailure(detail)); });
}

} // namespace guideshots

using namespace guideshots;

namespace {

void addUsers()
{
    sql::ScopedConnection conn(dmfm->databasePath());
    for (const QString& user : {QStringLiteral("张会计"), QStringLiteral("李出纳")})
        sql::exec(conn.db(), QStringLiteral("insert into userdb values (?, ?)"),
                  {user, passwords::hash(QStringLiteral("574"))});
}

void fillEntry(const QString& kind, const QString& summary, const QString& party,
               const QString& total, const QString& part)
{
    EntryPanel* panel = MainForm->Panel3;
    MainForm->ToolButton7Click();
    panel->ComboBox1->setCurrentText(kind);
    panel->kindStep();
    panel->ComboBox3->setEditText(summary);
    panel->ComboBox2->setEditText(party);
    QLineEdit* totalField = kind == u"收入" ? panel->Edit9 : panel->Edit28;
    QLineEdit* partField = kind == u"收入" ? panel->Edit13 : panel->Edit1;
    totalField->setText(total);
    partField->setText(part);
}

void usersAndPasswords()
{
    auto* login = new Tloginfm(MainForm);
    login->show();
    login->ComboBox1->setCurrentText(QStringLiteral("张会计"));
    save(login, QStringLiteral("login.png"));
    login->hide();
    login->deleteLater();

    MainForm->N15Click();
    save(MainForm->changepassfm, QStringLiteral("change-password.png"));
    MainForm->changepassfm->close();

    MainForm->N13Click();
    Tuserglfm* users = MainForm->userglfm;
    users->LabeledEdit1->setText(QStringLiteral("574"));
    users->BitBtn3Click();
    users->ListBox1->setCurrentRow(1);
    users->ListBox1Click();
    save(users, QStringLiteral("user-management.png"));
    users->close();
}

void recording()
{
    fillEntry(QStringLiteral("收入"), QStringLiteral("销售收入"), QStringLiteral("华信公司"),
              QStringLiteral("5000"), QStringLiteral("3000"));
    save(MainForm, QStringLiteral("entry-income.png"));
    fillEntry(QStringLiteral("支出"), QStringLiteral("房租"), QStringLiteral("恒通物流"),
              QStringLiteral("3000"), QStringLiteral("2000"));
    save(MainForm, QStringLiteral("entry-expense.png"));
    MainForm->Panel3->hide();

    RecordGrid* grid = MainForm->DBGridEh1;
    grid->selectRow(grid->model()->rowCount() - 3);
    MainForm->Panel3->openForModify();
    save(MainForm, QStringLiteral("modify.png"));
    MainForm->Panel3->hide();
    saveMenu(grid->PopupMenu3, QStringLiteral("grid-menu.png"));
}

void queries()
{
    MainForm->Edit24->setText(QStringLiteral("办公"));
    save(MainForm, QStringLiteral("search.png"));
    MainForm->Edit24->clear();
    MainForm->Button12Click();
    MainForm->CheckBox1->setChecked(true);
    MainForm->Button7Click();
    save(MainForm, QStringLiteral("month-view.png"));
    MainForm->CheckBox1->setChecked(false);
    MainForm->Button12Click();
    MainForm->Button7Click();
    save(MainForm, QStringLiteral("balance.png"));
    saveMenu(MainForm->PopupMenu1, QStringLiteral("settings-menu.png"));
}

void reports()
{
    MainForm->statisticsClick();
    MainForm->statisticsWindow->resize(1180, 620);
    save(MainForm->statisticsWindow, QStringLiteral("statistics.png"));
    MainForm->statisticsWindow->close();

    MainForm->ToolButton22Click();
    for (TPreviewForm* preview : MainForm->findChildren<TPreviewForm*>()) {
        preview->showNormal();
        preview->resize(1000, 720);
        QApplication::processEvents();
        save(preview, QStringLiteral("print-preview.png"));
        preview->close();
    }
}

// Later receipts and payments on some open records, as the registration writes them, and the
// cash the book started with.
void settleSome()
{
    sql::ScopedConnection conn(dmfm->databasePath());
    sql::Transaction tx(conn.db());
    QSqlQuery open = sql::exec(conn.db(), QStringLiteral("select id, a, day1, \"3\"+\"6\" from "
                                                         "data where \"3\">0 or \"6\">0 order "
                                                         "by day1"));
    QList<QVariantList> rows;
    while (open.next())
        rows << QVariantList{open.value(0), open.value(1), open.value(2), open.value(3)};
    open.finish();
    for (qsizetype i = 0; i < rows.size(); i += 2) {
        const bool receipt = rows[i][1].toString() != u"支出";
        const double amount = std::round(rows[i][3].toDouble() * (i % 4 == 0 ? 50 : 100)) / 100;
        const QString day =
            QDate::fromString(rows[i][2].toString(), Qt::ISODate).addDays(12).toString(Qt::ISODate);
        sql::exec(conn.db(),
                  QStringLiteral("insert into settlements (record, day1, amount, username, note, "
                                 "written) values (?, ?, ?, ?, ?, ?)"),
                  {rows[i][0], day, amount, QStringLiteral("超级管理员"),
                   i % 4 == 0 ? QStringLiteral("转账") : QString(), day});
        sql::exec(conn.db(),
                  receipt
                      ? QStringLiteral("update data set \"2\"=\"2\"+?, \"3\"=\"3\"-? where id=?")
                      : QStringLiteral("update data set \"5\"=\"5\"+?, \"6\"=\"6\"-? where id=?"),
                  {amount, amount, rows[i][0]});
    }
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("opening_balance"), QStringLiteral("30000.00")},
          std::pair{QStringLiteral("opening_date"),
                    QDate::currentDate().addMonths(-3).toString(Qt::ISODate)}})
        sql::exec(conn.db(), QStringLiteral("insert into bookinfo (name, value) values (?, ?)"),
                  {name, value});
    tx.commit();
}

void receivablesAndCash()
{
    settleSome();
    MainForm->Button12Click();
    MainForm->statisticsClick();
    StatisticsWindow* statistics = MainForm->statisticsWindow;
    statistics->resize(1180, 620);
    statistics->cashBasisBox->setChecked(true);
    save(statistics, QStringLiteral("statistics-cash.png"));
    statistics->close();

    // 收款登记 by the administrator on a sale already part paid, a receipt registered earlier.
    {
        sql::ScopedConnection conn(dmfm->databasePath());
        QSqlQuery part =
            sql::exec(conn.db(), QStringLiteral("select record from settlements s "
                                                "join data d on d.id=s.record where "
                                                "d.\"3\">=0.01 and d.c<>'' order by s.id"));
        const qint64 key = part.next() ? part.value(0).toLongLong() : 0;
        part.finish();
        if (SettlementWindow* window = SettlementWindow::openFor(
                MainForm, dmfm->writer(), key, QString::fromUtf16(schema::kAdministrator))) {
            window->noteEdit->setText(QStringLiteral("银行转账"));
            save(window, QStringLiteral("settlement.png"));
            window->close();
        }
    }

    MainForm->statementClick();
    StatementWindow* statement = MainForm->statementWindow;
    statement->fromDate->setDate(QDate::currentDate().addMonths(-3));
    statement->toDate->setDate(QDate::currentDate());
    statement->showParty(QStringLiteral("华信公司"), receivables::Side::Receivable);
    save(statement, QStringLiteral("statement.png"));
    statement->close();

    MainForm->agingClick();
    save(MainForm->agingWindow, QStringLiteral("aging.png"));
    MainForm->agingWindow->close();

    MainForm->cashJournalClick();
    CashJournalWindow* journal = MainForm->cashJournalWindow;
    journal->fromMonth->setDate(QDate::currentDate().addMonths(-2));
    journal->toMonth->setDate(QDate::currentDate());
    save(journal, QStringLiteral("cash-journal.png"));
    journal->printTable();
    for (TPreviewForm* preview : journal->findChildren<TPreviewForm*>()) {
        preview->showNormal();
        preview->resize(1000, 720);
        preview->setZoomChoice(QStringLiteral("75%"));
        QApplication::processEvents();
        // Where the first page ends with 过次页 and the second begins with 承前页.
        ReportPreview* pages = preview->previewWidget();
        const QRectF all = pages->scene()->sceneRect();
        pages->centerOn(all.center().x(), all.top() + all.height() / pages->pageCount());
        QApplication::processEvents();
        save(preview, QStringLiteral("cash-journal-page.png"));
        preview->close();
    }
    journal->close();
    QApplication::processEvents();
}

// A payment bill previewed before it goes into the guide's book.
void billImport()
{
    bills::BookBillStore store(*dmfm->writer());
    bills::SettingsMappingStore mappings;
    BillImportWindow window(QStringLiteral(QUENVALE_BILL_SAMPLE), store, mappings, MainForm);
    window.open();
    window.show();
    save(&window, QStringLiteral("bill-import.png"));
}

// The running balance column, and the window 月末结账 with the month before last closed.
void closingAndBalance()
{
    RecordGrid* grid = MainForm->DBGridEh1;
    MainForm->Button12Click();
    grid->showBalanceAction->trigger();
    save(MainForm, QStringLiteral("balance-column.png"));
    grid->showBalanceAction->trigger();

    MainForm->loggedIn(QString::fromUtf16(schema::kAdministrator), MainForm->LoginLogId);
    closing::close(*dmfm->writer(),
                   QDate::currentDate().addMonths(-2).toString(QStringLiteral("yyyy-MM")));
    MainForm->monthClosingClick();
    MonthClosingWindow* window = MainForm->monthClosingWindow;
    QApplication::processEvents();
    save(window, QStringLiteral("month-closing.png"));
    window->close();
    // The sample book stays open for what comes next.
    BookWriter::Batch batch(*dmfm->writer());
    batch.setFact(QStringLiteral("closed_through"), QString());
    batch.commit();
    QApplication::processEvents();
}

} // namespace

void renderGuidePictures(const QString& folder, MessageService* quiet)
{
    g_folder = folder;
    g_quiet = quiet;
    QDir().mkpath(folder);
    addUsers();
    usersAndPasswords();
    recording();
    queries();
    reports();
    receivablesAndCash();
    billImport();
    closingAndBalance();
    keepingSafe();
}
