// The windows 修改记录 and 回收站 on a real book (also on a server): what each operator sees,
// the filters, the exports, the print preview, the chain's verdict, and the bin's restore and
// purge, also after another PC got there first.
#include "app/mainform.h"
#include "cashbook/printpreview.h"
#include "cashbook/recordgrid.h"
#include "cashbook/reportpreview.h"
#include "data/passwords.h"
#include "data/recyclebin.h"
#include "gui/datefield.h"
#include "history/historymodels.h"
#include "history/historywindow.h"
#include "history/recyclebinwindow.h"
#include "historysupport.h"
#include "testsupport.h"
#include "users/changepass.h"
#include "users/usergl.h"

#include <QPrinter>
#include <QProcess>
#include <QTableView>

using namespace testsupport;
using namespace historytest;

namespace {

const QString kAdmin = QString::fromUtf16(schema::kAdministrator);

void addUserWithPassword(const QString& bookPath, const QString& name, const QString& password)
{
    sql::ScopedConnection conn(bookPath);
    sql::exec(conn.db(), QStringLiteral("insert into userdb values (?,?)"),
              {name, passwords::hash(password)});
}

// Three operators' work on three days: 张会计 adds 货款 and deletes 租金, 李出纳 deletes 运费,
// the administrator adds a user.
void dayOfWork(MainWindowSession& session)
{
    const QString book = session.book.bookPath();
    auto on = [](int day) {
        history::setClock([day] { return QDateTime(QDate(2025, 3, day), QTime(9, 30)); });
    };
    const qint64 sale =
        session.add(QStringLiteral("收入"), QStringLiteral("2025-03-01"), QStringLiteral("货款"),
                    QStringLiteral("华信公司"), 1000, 400, 0, 0);
    const qint64 rent =
        session.add(QStringLiteral("支出"), QStringLiteral("2025-03-01"), QStringLiteral("租金"),
                    QStringLiteral("恒通物流"), 0, 0, 300, 300);
    const qint64 freight =
        session.add(QStringLiteral("支出"), QStringLiteral("2025-03-02"), QStringLiteral("运费"),
                    QStringLiteral("恒通物流"), 0, 0, 45, 0);
    on(1);
    {
        sql::ScopedConnection conn(book);
        append(book, QStringLiteral("张会计"),
               {history::Kind::Added,
                QStringLiteral("data"),
                sale,
                {},
                recordValues(conn.db(), sale)});
    }
    deleteRecord(book, rent, QStringLiteral("张会计"));
    on(2);
    deleteRecord(book, freight, QStringLiteral("李出纳"));
    on(3);
    append(book, kAdmin,
           {history::Kind::Rows,
            QStringLiteral("userdb"),
            0,
            {},
            {{QStringLiteral("username"), QStringLiteral("王五")}}},
           QStringLiteral("增加用户"));
    history::setClock({});
    session.reload();
}

QStringList listedUsers(const HistoryWindow* window)
{
    QStringList users;
    for (const history::Entry& e : window->model()->entries())
        users << e.user;
    return users;
}

HistoryWindow* openHistory(const QString& user)
{
    if (MainForm->historyWindow)
        MainForm->historyWindow->close();
    QApplication::processEvents();
    history::setOperator(user);
    MainForm->historyClick();
    return MainForm->historyWindow;
}

RecycleBinWindow* openBin(const QString& user)
{
    if (MainForm->recycleBinWindow)
        MainForm->recycleBinWindow->close();
    QApplication::processEvents();
    history::setOperator(user);
    MainForm->recycleBinClick();
    return MainForm->recycleBinWindow;
}

int listed()
{
    return MainForm->DBGridEh1->model()->rowCount();
}

} // namespace

class HistoryWindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { scripted().clear(); }
    void cleanup() { history::setOperator({}); }
    // User management refuses to reset or delete a user changed meanwhile, and notes each step.
    void userChangedElsewhereIsNeitherResetNorDeleted();

    void eachOperatorSeesOwnChangesTheAdministratorAllFiltered()
    {
        MainWindowSession session;
        dayOfWork(session);
        HistoryWindow* window = openHistory(QStringLiteral("张会计"));
        QCOMPARE(window->windowTitle(), QStringLiteral("修改记录"));
        QCOMPARE(listedUsers(window),
                 (QStringList{QStringLiteral("张会计"), QStringLiteral("张会计")}));
        QVERIFY(!window->userBox->isEnabled());
        QCOMPARE(window->userBox->count(), 1);
        QTRY_COMPARE(window->chainLabel->text(), QStringLiteral("记录完整"));
        QCOMPARE(window->countLabel->text(), QStringLiteral("共 2 条"));
        typeText(window->textEdit, QStringLiteral("租金"));
        window->queryButton->click();
        QCOMPARE(window->model()->rowCount(), 1);
        QCOMPARE(window->model()->value(0, HistoryModel::Action).toString(),
                 QStringLiteral("删除"));
        QVERIFY(
            window->model()
                ->value(0, HistoryModel::Before)
                .toString()
                .contains(QStringLiteral("项目摘要：租金；单位名称：恒通物流；收入合计：0.00")));
        // Another operator's text is not found in one's own changes.
        window->textEdit->setText(QStringLiteral("运费"));
        QTest::keyClick(window->textEdit, Qt::Key_Return);
        QCOMPARE(window->model()->rowCount(), 0);

        // Nobody logged in sees nobody's changes.
        window = openHistory(QString());
        QCOMPARE(window->model()->rowCount(), 0);

        window = openHistory(kAdmin);
        QCOMPARE(window->model()->rowCount(), 4);
        QCOMPARE(window->userBox->itemText(0), QStringLiteral("全部"));
        QVERIFY(window->userBox->isEnabled());
        const int li = window->userBox->findText(QStringLiteral("李出纳"));
        QVERIFY(li > 0);
        window->userBox->setCurrentIndex(li);
        emit window->userBox->activated(li);
        QCOMPARE(listedUsers(window), QStringList{QStringLiteral("李出纳")});
        window->userBox->setCurrentIndex(0);
        emit window->userBox->activated(0);
        // Dates count only while 日期 is checked; a typed date that names no day is refused.
        window->fromDate->setDate(QDate(2025, 3, 2));
        window->toDate->setDate(QDate(2025, 3, 3));
        QCOMPARE(window->model()->rowCount(), 4);
        window->dateCheck->setChecked(true);
        QCOMPARE(listedUsers(window), (QStringList{kAdmin, QStringLiteral("李出纳")}));
        window->toDate->setDate(QDate(2025, 3, 2));
        QCOMPARE(listedUsers(window), QStringList{QStringLiteral("李出纳")});
        window->fromDate->setEnteredText(QStringLiteral("2025-02-30"));
        window->queryButton->click();
        QVERIFY(scripted().lastText().contains(QStringLiteral("'2025-02-30' is not a valid date")));
        QCOMPARE(listedUsers(window), QStringList{QStringLiteral("李出纳")});
        window->close();
    }

    void exportsPrintsAndNamesTheAlteredEntry()
    {
        MainWindowSession session;
        dayOfWork(session);
        HistoryWindow* window = openHistory(kAdmin);
        const QString csvFile = session.book.file(QStringLiteral("history.csv"));
        scripted().fileNames = {csvFile};
        window->csvButton->click();
        QFile csv(csvFile);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(csv.readAll());
        QVERIFY(text.contains(QStringLiteral("序号,时间,操作员,操作,对象,编号,修改前,修改后")));
        QVERIFY(text.contains(QStringLiteral("4,2025-03-03 09:30:00,超级管理员,增加用户,用户,,,"
                                             "用户名称：王五")));
        QCOMPARE(text.count(u'\n'), 5);
        window->printButton->click();
        TPreviewForm* preview = window->findChild<TPreviewForm*>();
        QVERIFY(preview);
        QTRY_VERIFY(preview->pageCount() >= 1);
        QCOMPARE(preview->previewWidget()->content().rows.size(), 4);
        QCOMPARE(preview->previewWidget()->content().rows.at(1).value(HistoryModel::User),
                 QStringLiteral("李出纳"));
        // On paper: the heading, the chain's verdict and the rows (read back in NFKC).
        const QString pdf = session.book.file(QStringLiteral("history.pdf"));
        preview->printer()->setOutputFormat(QPrinter::PdfFormat);
        preview->printer()->setOutputFileName(pdf);
        preview->printReport();
        QProcess reader;
        reader.start(QStringLiteral("pdftotext"),
                     {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(reader.waitForFinished(30000));
        const QString page = QString::fromUtf8(reader.readAllStandardOutput())
                                 .normalized(QString::NormalizationForm_KC);
        for (const char* shown : {"修 改 记 录", "记录完整", "李出纳", "王五", "恒通物流"})
            QVERIFY2(page.contains(QString::fromUtf8(shown)), shown);
        preview->close();

        // Another program rewrites who deleted 租金.
        runTool(session.book.bookPath(),
                QStringLiteral("update changes set username='李出纳' where seq=2"));
        window = openHistory(kAdmin);
        QTRY_COMPARE(window->chainLabel->text(), QStringLiteral("第 2 条修改记录已被其他程序改动"));
        const QModelIndexList selected = window->view->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(window->model()->entries().at(selected.constFirst().row()).seq, 2);
        window->close();
    }

    void binRestoresForEveryonePurgesForTheAdministrator()
    {
        MainWindowSession session;
        dayOfWork(session);
        const QString book = session.book.bookPath();
        QCOMPARE(listed(), 1);
        RecycleBinWindow* bin = openBin(QStringLiteral("张会计"));
        QCOMPARE(bin->windowTitle(), QStringLiteral("回收站"));
        QCOMPARE(bin->model()->rowCount(), 2);
        QCOMPARE(bin->model()->data(bin->model()->index(0, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("李出纳"));
        QCOMPARE(bin->model()->data(bin->model()->index(0, 5), Qt::DisplayRole).toString(),
                 QStringLiteral("运费"));
        QCOMPARE(bin->model()->data(bin->model()->index(0, 10), Qt::DisplayRole).toString(),
                 QStringLiteral("45.00"));
        QCOMPARE(bin->countLabel->text(), QStringLiteral("回收站中有 2 条记录"));
        QVERIFY(!bin->purgeButton->isEnabled());
        bin->purgeClick();
        QCOMPARE(scripted().lastText(),
                 QStringLiteral("只有超级管理员才能彻底删除回收站中的记录。"));
        bin->restoreButton->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("请先在列表中选择要恢复的记录。"));

        // 运费 comes back under its own key and the main window lists it.
        const qint64 freight = bin->model()->entries().at(0).key;
        bin->view->selectRow(0);
        bin->restoreButton->click();
        QCOMPARE(scripted().lastText(),
                 QStringLiteral("记录已恢复到账本中（编号 %1）。").arg(freight));
        QCOMPARE(
            scalar(book, QStringLiteral("select b from data where id=?"), {freight}).toString(),
            QStringLiteral("运费"));
        QCOMPARE(listed(), 2);
        QCOMPARE(bin->model()->rowCount(), 1);

        // Another PC restores 租金 while this window still shows it.
        const history::Entry rent = bin->model()->entries().at(0);
        {
            sql::ScopedConnection other(book);
            recyclebin::restore(other.db(), rent, QStringLiteral("李出纳"));
        }
        bin->view->selectRow(0);
        bin->restoreButton->click();
        QVERIFY2(scripted().lastText().startsWith(
                     QStringLiteral("这条记录已被其他用户恢复到账本中（操作员：李出纳")),
                 qPrintable(scripted().lastText()));
        QCOMPARE(bin->model()->rowCount(), 0);
        QCOMPARE(scalar(book, QStringLiteral("select count(*) from data where id=?"), {rent.key})
                     .toInt(),
                 1);

        // The administrator purges; Cancel keeps it.
        deleteRecord(book, freight, QStringLiteral("张会计"));
        bin = openBin(kAdmin);
        QVERIFY(bin->purgeButton->isEnabled());
        bin->view->selectRow(0);
        scripted().answers = {false};
        bin->purgeButton->click();
        QCOMPARE(bin->model()->rowCount(), 1);
        scripted().answers = {true};
        bin->purgeButton->click();
        QCOMPARE(scripted().lastText(), QStringLiteral("记录已彻底删除。"));
        QCOMPARE(bin->model()->rowCount(), 0);
        QCOMPARE(
            scalar(book, QStringLiteral("select action from changes order by seq desc")).toString(),
            QStringLiteral("彻底删除"));
        bin->close();
        HistoryWindow* window = openHistory(kAdmin);
        QTRY_COMPARE(window->chainLabel->text(), QStringLiteral("记录完整"));
        window->close();
    }
};

void HistoryWindowsTest::userChangedElsewhereIsNeitherResetNorDeleted()
{
    MainWindowSession session;
    const QString book = session.book.bookPath();
    history::setOperator(QStringLiteral("超级管理员"));
    addUserWithPassword(book, QStringLiteral("Zhang"), QStringLiteral("abc123"));
    addUserWithPassword(book, QStringLiteral("Li"), QStringLiteral("pw1"));
    MainForm->N13Click();
    Tuserglfm* window = MainForm->userglfm;
    window->LabeledEdit1->setText(QStringLiteral("574"));
    window->BitBtn3->click();
    auto choose = [window](int row) {
        window->ListBox1->setCurrentRow(row);
        window->ListBox1Click();
    };
    const int changesBefore = scalar(book, QStringLiteral("select count(*) from changes")).toInt();

    // Another copy deletes Zhang after the list showed him: neither reset nor delete happens.
    choose(1);
    scalar(book, QStringLiteral("delete from userdb where username='Zhang'"));
    window->BitBtn5->click();
    QCOMPARE(scripted().lastText(),
             QStringLiteral("用户“Zhang”已被其他用户删除，未初始化密码。用户列表已重新读取。"));
    QCOMPARE(window->ListBox1->count(), 2);
    QCOMPARE(window->Edit5->text(), QString());
    // Another copy resets Li's password: the delete is refused and Li stays.
    choose(1);
    QCOMPARE(window->Edit7->text(), QStringLiteral("Li"));
    {
        sql::ScopedConnection other(book);
        sql::exec(other.db(), QStringLiteral("update userdb set passwd=? where username='Li'"),
                  {passwords::hash(QStringLiteral("574"))});
    }
    scripted().answers = {true};
    window->BitBtn9->click();
    QVERIFY(scripted().lastText().startsWith(QStringLiteral(
        "用户“Li”在用户列表显示之后已被其他用户修改（密码已被重设或更改），未删除。")));
    QCOMPARE(
        scalar(book, QStringLiteral("select count(*) from userdb where username='Li'")).toInt(), 1);
    QCOMPARE(window->Edit7->text(), QStringLiteral("Li"));
    QCOMPARE(scalar(book, QStringLiteral("select count(*) from changes")).toInt(), changesBefore);
    // Read anew, the operator decides again: now it goes through, and each step is in the
    // history, the password nowhere in it.
    scripted().answers = {true};
    window->BitBtn9->click();
    QCOMPARE(scripted().lastText(), QStringLiteral("成功删除！"));
    window->Edit6->setText(QStringLiteral("Wang"));
    window->BitBtn7->click();
    choose(1);
    window->BitBtn5->click();
    window->BitBtn5->click(); // its own reset does not count as another copy's change
    QCOMPARE(scripted().lastText(), QStringLiteral("已经成功将密码初始化为：574"));
    window->close();
    MainForm->N15Click();
    Tchangepassfm* change = MainForm->changepassfm;
    change->ComboBox1->setCurrentIndex(change->ComboBox1->findText(QStringLiteral("Wang")));
    change->Edit1->setText(QStringLiteral("574"));
    change->Edit14->setText(QStringLiteral("w1"));
    change->Edit15->setText(QStringLiteral("w1"));
    change->bitbtn4->click();
    sql::ScopedConnection conn(book);
    QStringList steps;
    for (const history::Entry& e : history::find(conn.db(), {})) {
        steps.prepend(e.action + u':' + history::describe(e.table, e.before + e.after));
        QCOMPARE(e.user, QStringLiteral("超级管理员"));
        QVERIFY(!e.beforeText.contains(QStringLiteral("passwd")));
        QVERIFY(!e.afterText.contains(QStringLiteral("passwd")));
    }
    QCOMPARE(steps, (QStringList{QStringLiteral("删除用户:用户名称：Li"),
                                 QStringLiteral("增加用户:用户名称：Wang"),
                                 QStringLiteral("初始化密码:用户名称：Wang；用户名称：Wang"),
                                 QStringLiteral("初始化密码:用户名称：Wang；用户名称：Wang"),
                                 QStringLiteral("修改密码:用户名称：Wang；用户名称：Wang")}));
    QVERIFY(history::verify(conn.db()).intact());
    history::setOperator({});
}

QUENVALE_TEST_MAIN(HistoryWindowsTest)
#include "tst_historywindows.moc"
