// Renders the pictures in docs/ and the user guide's in docs/guide/ from the real windows on a
// sample book:
//   quenvale_docshots OUTPUT_FOLDER
// Run it under a display (xvfb-run) or with QT_QPA_PLATFORM=offscreen.
#include "app/mainform.h"
#include "app/startup.h"
#include "bills/bankmapping.h"
#include "bills/billimportwindow.h"
#include "bills/billstore.h"
#include "cashbook/entrypanel.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/schema.h"
#include "data/sql.h"
#include "gui/messages.h"
#include "gui/qttranslations.h"
#include "guideshots.h"
#include "skins/skins.h"
#include "stats/statswindow.h"
#include "users/changepass.h"
#include "users/login.h"
#include "users/usergl.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

void fillSampleBook(const QString& path)
{
    sql::ScopedConnection conn(path);
    sql::Transaction tx(conn.db());
    const QStringList items = {QStringLiteral("办公用品"),   QStringLiteral("房租"),
                               QStringLiteral("水电费"),     QStringLiteral("销售收入"),
                               QStringLiteral("咨询服务费"), QStringLiteral("差旅费"),
                               QStringLiteral("设备采购"),   QStringLiteral("货款")};
    const QStringList parties = {QStringLiteral("华信公司"),
                                 QStringLiteral("明达商贸"),
                                 QStringLiteral("张三"),
                                 QStringLiteral("恒通物流"),
                                 QString(),
                                 QStringLiteral("光明文具店")};
    QRandomGenerator random(7);
    const QDate start = QDate::currentDate().addDays(-60);
    for (int i = 0; i < 40; ++i) {
        const bool income = random.bounded(2) == 0;
        const double total = std::round(random.bounded(5000.0) * 100) / 100 + 50;
        const double part = random.bounded(3) == 0 ? std::round(total * 60) / 100 : total;
        const QString day = start.addDays(i * 3 / 2).toString(QStringLiteral("yyyy-MM-dd"));
        QVariantList v = {income ? QStringLiteral("收入") : QStringLiteral("支出"), day,
                          items[random.bounded(items.size())],
                          parties[random.bounded(parties.size())]};
        if (income)
            v << total << part << total - part << 0.0 << 0.0 << 0.0;
        else
            v << 0.0 << 0.0 << 0.0 << total << part << total - part;
        sql::exec(
            conn.db(),
            QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                           "values (?,?,?,?,?,?,?,?,?,?,'1')"),
            v);
    }
    tx.commit();
}

// A year of records before the sample's two months, so the statistics have months to show.
void fillYearBefore(const QString& path)
{
    sql::ScopedConnection conn(path);
    sql::Transaction tx(conn.db());
    const QStringList parties = {QStringLiteral("华信公司"), QStringLiteral("明达商贸"),
                                 QStringLiteral("恒通物流"), QStringLiteral("光明文具店")};
    QRandomGenerator random(19);
    const QDate start = QDate::currentDate().addMonths(-13);
    for (int i = 0; i < 160; ++i) {
        const bool income = random.bounded(100) < 55;
        const double total = std::round(random.bounded(4000.0) * 100) / 100 + 100;
        const double part = random.bounded(4) == 0 ? std::round(total * 50) / 100 : total;
        const QString day = start.addDays(i * 365 / 160).toString(QStringLiteral("yyyy-MM-dd"));
        QVariantList v = {income ? QStringLiteral("收入") : QStringLiteral("支出"), day,
                          income ? QStringLiteral("销售收入") : QStringLiteral("货款"),
                          parties[random.bounded(parties.size())]};
        if (income)
            v << total << part << total - part << 0.0 << 0.0 << 0.0;
        else
            v << 0.0 << 0.0 << 0.0 << total << part << total - part;
        sql::exec(
            conn.db(),
            QStringLiteral("insert into data (a,day1,b,c,\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",o) "
                           "values (?,?,?,?,?,?,?,?,?,?,'1')"),
            v);
    }
    tx.commit();
}

void save(QWidget* w, const QString& folder, const QString& name)
{
    QApplication::processEvents();
    w->grab().save(folder + u'/' + name, "PNG");
    std::printf("wrote %s/%s\n", qPrintable(folder), qPrintable(name));
}

// The import window shows the bill without a book behind it.
class NoBook final : public bills::BillStore, public bills::MappingStore
{
    QSet<QString> importedOrders(const QString&, const QStringList&) override { return {}; }
    bills::BillStoreResult store(const bills::BillImport&) override { return {}; }
    std::optional<bills::BankMapping> find(const QString&) override { return std::nullopt; }
    void remember(const bills::BankMapping&) override {}
};

class Silent final : public MessageService
{
    void warning(QWidget*, const QString&) override {}
    void information(QWidget*, const QString&) override {}
    void critical(QWidget*, const QString& t) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(t));
    }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    bool yesNo(QWidget*, const QString&, const QString&, bool) override { return false; }
    QString saveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString openFileName(QWidget*) override { return {}; }
};

} // namespace

int main(int argc, char* argv[])
{
    // Nothing the windows remember goes into the real settings.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    QApplication app(argc, argv);
    startup::prepareApplication(app);
    qttranslations::load(); // the boxes' buttons as the program shows them
    Silent silent;
    setMessageService(&silent);
    const QString out = QDir(app.arguments().value(1, QStringLiteral("."))).absolutePath();
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    schema::createFile(dir.filePath(QStringLiteral("data.mdb")));
    fillSampleBook(dir.filePath(QStringLiteral("data.mdb")));

    MainForm = new TMainForm();
    dmfm = new Tdmfm();
    MainForm->bindData();
    MainForm->show();
    MainForm->setStatusText(1, QStringLiteral("超级管理员"));
    MainForm->Button12Click();
    MainForm->Button7Click();
    save(MainForm, out, QStringLiteral("main-window.png"));

    MainForm->ToolButton7Click();
    MainForm->Panel3->ComboBox3->setEditText(QStringLiteral("办公用品"));
    MainForm->Panel3->ComboBox2->setEditText(QStringLiteral("光明文具店"));
    MainForm->Panel3->Edit9->setText(QStringLiteral("320.5"));
    save(MainForm, out, QStringLiteral("entry-panel.png"));
    MainForm->Panel3->hide();

    auto* login = new Tloginfm(MainForm);
    login->show();
    save(login, out, QStringLiteral("login.png"));
    login->hide();
    MainForm->N13Click();
    save(MainForm->userglfm, out, QStringLiteral("user-management.png"));
    MainForm->N15Click();
    save(MainForm->changepassfm, out, QStringLiteral("change-password.png"));
    MainForm->changepassfm->close();
    MainForm->userglfm->close();

    {
        NoBook book;
        BillImportWindow bill(QStringLiteral(QUENVALE_BILL_SAMPLE), book, book, MainForm);
        bill.open();
        bill.show();
        save(&bill, out, QStringLiteral("bill-import.png"));
    }

    // In the built-in look, before the skins.
    renderGuidePictures(QDir(out).filePath(QStringLiteral("guide")), &silent);

    // Each skin: the main window with the entry panel open, and a tool window.
    for (int i = 0; i < skins::kCount; ++i) {
        skins::apply(i);
        MainForm->ToolButton7Click();
        MainForm->Panel3->ComboBox3->setEditText(QStringLiteral("办公用品"));
        MainForm->Panel3->ComboBox2->setEditText(QStringLiteral("光明文具店"));
        MainForm->Panel3->Edit9->setText(QStringLiteral("320.5"));
        save(MainForm, out, QStringLiteral("skin-%1.png").arg(i));
        MainForm->Panel3->hide();
        MainForm->N13Click();
        save(MainForm->userglfm, out, QStringLiteral("skin-%1-tool.png").arg(i));
        MainForm->userglfm->close();
        QApplication::processEvents();
    }

    // Last, so the skin pictures show the same records as the others.
    fillYearBefore(dir.filePath(QStringLiteral("data.mdb")));
    MainForm->Button12Click();
    MainForm->statisticsClick();
    MainForm->statisticsWindow->resize(1180, 620);
    save(MainForm->statisticsWindow, out, QStringLiteral("statistics.png"));
    startup::destroyWindows();
    return 0;
}
