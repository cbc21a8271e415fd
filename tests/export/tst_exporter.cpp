#include "biffcells.h"
#include "cashbook/listingmodel.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/formats.h"
#include "data/sql.h"
#include "export/DBGridEhToExcel.h"
#include "export/exportedgrid.h"
#include "export/progresswindow.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProgressBar>

#include <memory>

namespace {

// Plain columns over a dataset: the exporter without any grid widget.
class Columns : public ExportedGrid
{
public:
    Dataset* data = nullptr;
    QStringList fields;
    QStringList titles;
    QVector<bool> visible;
    QVector<QStringList> footers;
    int footerRows = 1;
    int redrawSwitches = 0;
    bool redrawOn = true;

    void add(const QString& field, const QString& title, const QString& footer = {})
    {
        fields << field;
        titles << title;
        visible << true;
        footers << QStringList{footer};
    }
    Dataset* dataset() const override { return data; }
    int columnCount() const override { return static_cast<int>(fields.size()); }
    QString columnField(int c) const override { return fields[c]; }
    QString columnTitle(int c) const override { return titles[c]; }
    bool isColumnVisible(int c) const override { return visible[c]; }
    int footerRowCount() const override { return footerRows; }
    QStringList footerValueTexts(int c) const override { return footers[c]; }
    void setRedrawEnabled(bool enabled) override
    {
        ++redrawSwitches;
        redrawOn = enabled;
    }
};

const QString kBalance = QStringLiteral("收支合计余额：70（53）");

biff::Sheet sheetOf(const QByteArray& bytes, QVector<biff::Record>* list = nullptr)
{
    QVector<biff::Record> records;
    if (!biff::records(bytes, records))
        return {};
    if (list)
        *list = records;
    return biff::cells(records);
}

} // namespace

class TestExporter : public QObject
{
    Q_OBJECT

public:
    QStringList openedFiles;
    int progressAtOpen = -1;
    bool hourglassAtOpen = false;

public slots:
    // Stands in for the desktop: records what the export asked to open.
    void openFile(const QUrl& url)
    {
        openedFiles << url.toLocalFile();
        if (auto* window = qobject_cast<ExportProgressWindow*>(findProgress()))
            progressAtOpen = window->bar()->value();
        hourglassAtOpen = QGuiApplication::overrideCursor() &&
                          QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    }

private:
    std::unique_ptr<testsupport::BookFolder> book;
    std::unique_ptr<sql::ScopedConnection> connection;
    std::unique_ptr<Dataset> listing;
    Columns grid;

    static QWidget* findProgress()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<ExportProgressWindow*>(w) && w->isVisible())
                return w;
        return nullptr;
    }

    // The cash book's ten columns over the data table with three records, the middle one current.
    void openCashBook()
    {
        const QString path = book->bookPath();
        testsupport::insertRecord(path, QStringLiteral("收入"), QStringLiteral("2026-03-01"),
                                  QStringLiteral("货款"), QStringLiteral("甲公司"), 100, 60, 0, 0);
        const qint64 second =
            testsupport::insertRecord(path, QStringLiteral("支出"), QStringLiteral("2026-03-02"),
                                      QStringLiteral("-"), QStringLiteral("乙商店"), 0, 0, 30, 7);
        testsupport::scalar(path, QStringLiteral("update data set b='' where id=?"), {second});
        testsupport::insertRecord(path, QStringLiteral("收入"), QStringLiteral("2026-03-03"),
                                  QStringLiteral("租金"), QStringLiteral("丙"), 20, 7.655, 0, 0);
        // The third record's receivable as the "#.##" column would show it: 12.35.
        testsupport::scalar(path, QStringLiteral("update data set \"3\"=12.345, c=NULL where b=?"),
                            {QStringLiteral("租金")});
        listing->setKeyColumn(QStringLiteral("id"));
        listing->setTable(QStringLiteral("data"));
        listing->open(QStringLiteral("select * from data order by day1"));
        QVERIFY(listing->locateKey(second));
        for (int c = 0; c < 10; ++c)
            grid.add(ListingModel::fields().at(c), ListingModel::titles().at(c),
                     c == 2 ? kBalance : QString());
    }

    QByteArray sheet(TDBGridEhToExcel& exporter)
    {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        exporter.PrepareFields();
        exporter.WriteSheet(&buffer);
        return bytes;
    }

    std::unique_ptr<TDBGridEhToExcel> exporter()
    {
        auto e = std::make_unique<TDBGridEhToExcel>();
        e->setDBGridEh(&grid);
        e->setTitleName(QStringLiteral("财务统计报表"));
        e->setUserName(QStringLiteral("Quenvale"));
        return e;
    }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void init()
    {
        book = std::make_unique<testsupport::BookFolder>();
        connection = std::make_unique<sql::ScopedConnection>(book->bookPath());
        listing = std::make_unique<Dataset>();
        listing->setConnectionName(connection->db().connectionName());
        grid = Columns();
        grid.data = listing.get();
        testsupport::scripted().clear();
        openedFiles.clear();
        progressAtOpen = -1;
        hourglassAtOpen = false;
    }
    void cleanup()
    {
        listing.reset();
        connection.reset();
        book.reset();
    }

    void cashBookSheet()
    {
        openCashBook();
        auto e = exporter();
        QVector<biff::Record> list;
        const biff::Sheet s = sheetOf(sheet(*e), &list);
        QVERIFY(!s.isEmpty());
        QCOMPARE(list.first().type, quint16(0x0809));
        QCOMPARE(list.at(1).type, quint16(0x0042));
        QCOMPARE(list.last().type, quint16(0x000A));
        QCOMPARE(list.last().body.size(), 0);

        QCOMPARE(biff::text(s, 0, 3), QStringLiteral("财务统计报表"));
        QCOMPARE(biff::text(s, 1, 0), QStringLiteral("制表人：Quenvale"));
        const QString preparedAt = biff::text(s, 1, 5);
        QVERIFY2(preparedAt.startsWith(QStringLiteral("制表时间：") +
                                       formats::dateText(QDate::currentDate())) ||
                     preparedAt.startsWith(QStringLiteral("制表时间：") +
                                           formats::dateText(QDate::currentDate().addDays(-1))),
                 qPrintable(preparedAt));

        const QStringList upper{QStringLiteral("现   金   帐"), QStringLiteral("现   金   帐"),
                                QStringLiteral("现   金   帐"), QStringLiteral("现   金   帐"),
                                QStringLiteral("收  入"),       QStringLiteral("收  入"),
                                QStringLiteral("收  入"),       QStringLiteral("支  出"),
                                QStringLiteral("支  出"),       QStringLiteral("支  出")};
        const QStringList lower{QStringLiteral("收支类别"),    QStringLiteral("日 期"),
                                QStringLiteral("项 目 摘 要"), QStringLiteral("单位名称"),
                                QStringLiteral("合 计"),       QStringLiteral("已收金额"),
                                QStringLiteral("应收账款"),    QStringLiteral("合 计"),
                                QStringLiteral("已付金额"),    QStringLiteral("应付账款")};
        for (int c = 0; c < 10; ++c) {
            QCOMPARE(biff::text(s, 2, c), upper[c]);
            QCOMPARE(biff::text(s, 3, c), lower[c]);
        }
        // The dataset's other field (the marker o) follows from column 10, untitled.
        QVERIFY(!s.contains({2, 10}));
        QVERIFY(!s.contains({3, 10}));

        // One row per record from row 4, in the listing's order.
        QCOMPARE(biff::text(s, 4, 0), QStringLiteral("收入"));
        QCOMPARE(biff::text(s, 4, 1), QStringLiteral("2026-03-01"));
        QCOMPARE(biff::text(s, 4, 2), QStringLiteral("货款"));
        QCOMPARE(s.value({4, 4}).type, quint16(0x0203));
        QCOMPARE(s.value({4, 4}).value.toDouble(), 100.0);
        QCOMPARE(s.value({4, 6}).value.toDouble(), 40.0);
        QCOMPARE(biff::text(s, 4, 10), QStringLiteral("1"));
        QCOMPARE(biff::text(s, 5, 0), QStringLiteral("支出"));
        // A non-null empty text: a LABEL of length 0.
        QCOMPARE(s.value({5, 2}).type, quint16(0x0204));
        QCOMPARE(s.value({5, 2}).bytes.size(), 0);
        QCOMPARE(s.value({5, 9}).value.toDouble(), 23.0);
        // The double as stored, not the column's "#.##" text.
        QCOMPARE(s.value({6, 6}).type, quint16(0x0203));
        QCOMPARE(s.value({6, 6}).value.toDouble(), 12.345);
        // Null: BLANK with format 23.
        QCOMPARE(s.value({6, 3}).type, quint16(0x0201));
        QCOMPARE(s.value({6, 3}).format, quint16(23));
        QCOMPARE(s.value({6, 0}).format, quint16(0));

        // The footer row: the balance line under its column, the sums empty.
        QCOMPARE(biff::text(s, 7, 2), kBalance);
        for (int c : {0, 1, 3, 4, 5, 6, 7, 8, 9}) {
            QCOMPARE(s.value({7, c}).type, quint16(0x0204));
            QCOMPARE(s.value({7, c}).bytes.size(), 0);
        }
        QVERIFY(!s.contains({7, 10}));
        QCOMPARE(biff::lastRow(s), 7);

        // The grid's fields now lead with its titles; the walk left the current record as it was.
        QCOMPARE(listing->field(2).name, QStringLiteral("b"));
        QCOMPARE(listing->field(2).displayLabel, QStringLiteral("现   金   帐|项 目 摘 要"));
        QCOMPARE(listing->field(10).name, QStringLiteral("o"));
        QCOMPARE(listing->recNo(), 2);
        QCOMPARE(grid.redrawSwitches, 2);
        QVERIFY(grid.redrawOn);
    }

    void hiddenColumnsKeepTheirPlace()
    {
        openCashBook();
        grid.visible[3] = false;
        grid.visible[5] = false;
        auto e = exporter();
        const biff::Sheet s = sheetOf(sheet(*e));
        for (int c : {3, 5}) {
            QVERIFY(!s.contains({2, c}));
            QVERIFY(!s.contains({3, c}));
            QVERIFY(!s.contains({7, c}));
            for (int row = 4; row <= 6; ++row)
                QCOMPARE(s.value({row, c}).type, quint16(0x0201));
        }
        // Titles stand above their own data.
        QCOMPARE(biff::text(s, 3, 4), QStringLiteral("合 计"));
        QCOMPARE(biff::text(s, 3, 6), QStringLiteral("应收账款"));
        QCOMPARE(s.value({4, 6}).value.toDouble(), 40.0);
        QCOMPARE(biff::text(s, 3, 9), QStringLiteral("应付账款"));
        QCOMPARE(biff::text(s, 7, 2), kBalance);
    }

    void fieldTypesOnAPlainDataset()
    {
        sql::exec(connection->db(),
                  QStringLiteral("create table t (s TEXT, n INTEGER, f REAL, m MEMO, x TEXT)"));
        sql::exec(connection->db(),
                  QStringLiteral("insert into t values ('一', 5, 1.5, 'secret', 'x1'),"
                                 " ('二', -1, NULL, '', ''), ('三', 5000000000, 2, NULL, 'x3')"));
        listing->open(QStringLiteral("select * from t"));
        grid.add(QStringLiteral("f"), QStringLiteral("甲|一"));
        grid.add(QStringLiteral("n"), QStringLiteral("乙"));
        grid.add(QStringLiteral("s"), QStringLiteral("丙*****|三"));
        grid.add(QStringLiteral("m"), QStringLiteral("丁|四"));
        grid.footerRows = 0;
        auto e = exporter();
        const biff::Sheet s = sheetOf(sheet(*e));

        // A one-level title beside two-level ones: its text above, an empty LABEL below.
        QCOMPARE(biff::text(s, 2, 1), QStringLiteral("乙"));
        QCOMPARE(s.value({3, 1}).type, quint16(0x0204));
        QCOMPARE(s.value({3, 1}).bytes.size(), 0);
        // The "*****" column keeps its title but its data is blank.
        QCOMPARE(biff::text(s, 3, 2), QStringLiteral("三"));
        for (int row = 4; row <= 6; ++row)
            QCOMPARE(s.value({row, 2}).type, quint16(0x0201));

        QCOMPARE(s.value({4, 1}).type, quint16(0x027E));
        QCOMPARE(s.value({4, 1}).value.toInt(), 22);
        QCOMPARE(s.value({5, 1}).value.toInt(), -2);
        QCOMPARE(s.value({6, 1}).type, quint16(0x0203));
        QCOMPARE(s.value({6, 1}).value.toDouble(), 5e9);
        QCOMPARE(s.value({4, 0}).value.toDouble(), 1.5);
        QCOMPARE(s.value({5, 0}).type, quint16(0x0201));
        // A memo never gives its text; its null is still blank.
        QCOMPARE(s.value({4, 3}).type, quint16(0x0204));
        QCOMPARE(s.value({4, 3}).bytes.size(), 0);
        QCOMPARE(s.value({6, 3}).type, quint16(0x0201));
        // The field no column shows follows, untitled; no footer row.
        QCOMPARE(biff::text(s, 4, 4), QStringLiteral("x1"));
        QVERIFY(!s.contains({2, 4}));
        QCOMPARE(biff::lastRow(s), 6);
    }

    void beginDateMovesThePreparedByLine()
    {
        openCashBook();
        auto e = exporter();
        e->setBeginDate(QStringLiteral("2026-01-01"));
        biff::Sheet s = sheetOf(sheet(*e));
        QCOMPARE(biff::text(s, 1, 0), QStringLiteral("2026-01-01"));
        QVERIFY(!s.contains({1, 5}));
        QCOMPARE(biff::text(s, 2, 0), QStringLiteral("制表人：Quenvale"));
        QCOMPARE(biff::text(s, 4, 2), QStringLiteral("项 目 摘 要"));
        QCOMPARE(biff::text(s, 5, 0), QStringLiteral("收入"));

        // A blank date is no date; an end date alone also takes a row.
        e->setBeginDate(QStringLiteral("   "));
        e->setEndDate(QStringLiteral(" 2026-12-31"));
        s = sheetOf(sheet(*e));
        QVERIFY(!s.contains({1, 0}) || biff::text(s, 1, 0).isEmpty());
        QCOMPARE(biff::text(s, 1, 5), QStringLiteral(" 2026-12-31"));
        QCOMPARE(biff::text(s, 2, 0), QStringLiteral("制表人：Quenvale"));
    }

    void exportToFile()
    {
        openCashBook();
        const QString target = book->file(QStringLiteral("book.xls"));
        auto e = exporter();
        e->setFileName(target);
        e->ExportToExcel();
        QVERIFY(testsupport::scripted().shown.isEmpty());
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(biff::text(sheetOf(file.readAll()), 7, 2), kBalance);
        QCOMPARE(openedFiles, QStringList{QFileInfo(target).absoluteFilePath()});
        // Opened while the bar stood at the last record, under the hourglass.
        QCOMPARE(progressAtOpen, 3);
        QVERIFY(hourglassAtOpen);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!e->progressWindow());
        QCOMPARE(QDir(book->path()).entryList(QDir::Files).size(), 2); // data.mdb and book.xls
    }

    void overwriteQuestion()
    {
        openCashBook();
        const QString target = book->file(QStringLiteral("old.xls"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old contents");
        }
        auto e = exporter();
        e->setFileName(target);

        testsupport::scripted().answers = {false};
        e->ExportToExcel();
        auto& shown = testsupport::scripted().shown;
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, QStringLiteral("yesNo"));
        QCOMPARE(shown[0].title, QStringLiteral("提示"));
        QCOMPARE(shown[0].text,
                 QStringLiteral("已存在文件（") + target + QStringLiteral("），是否覆盖？"));
        QVERIFY(testsupport::scripted().lastNoIsDefault);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old contents"));
        file.close();
        QVERIFY(openedFiles.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());

        testsupport::scripted().clear();
        testsupport::scripted().answers = {true};
        e->ExportToExcel();
        QCOMPARE(testsupport::scripted().shown.size(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(biff::text(sheetOf(file.readAll()), 0, 3), QStringLiteral("财务统计报表"));
        QCOMPARE(openedFiles.size(), 1);
    }

    void failedWriteLeavesNoFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("folder");
        QTest::newRow("below a regular file") << QStringLiteral("plain/book.xls") << false;
        QTest::newRow("a folder of that name") << QStringLiteral("book.xls") << true;
    }
    void failedWriteLeavesNoFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, folder);
        openCashBook();
        QDir dir(book->path());
        if (folder) {
            QVERIFY(dir.mkdir(name));
        } else {
            QFile plain(book->file(QStringLiteral("plain")));
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        const QStringList before = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        auto e = exporter();
        e->setFileName(book->file(name));
        e->ExportToExcel();

        auto& shown = testsupport::scripted().shown;
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, QStringLiteral("information"));
        QVERIFY2(shown[0].text.startsWith(QStringLiteral("导出Excel文件失败：")) &&
                     shown[0].text.size() > QStringLiteral("导出Excel文件失败：").size(),
                 qPrintable(shown[0].text));
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        QCOMPARE(QFileInfo(book->file(name)).isFile(), false);
        QVERIFY(openedFiles.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!e->progressWindow());
    }

    void nothingToExport()
    {
        auto e = exporter();
        e->setFileName(book->file(QStringLiteral("none.xls")));
        // Closed, then empty.
        e->ExportToExcel();
        listing->open(QStringLiteral("select * from data"));
        grid.add(QStringLiteral("a"), QStringLiteral("x|y"));
        e->ExportToExcel();
        QVERIFY(!QFile::exists(book->file(QStringLiteral("none.xls"))));
        // A blank name, with records.
        testsupport::insertRecord(book->bookPath(), QStringLiteral("收入"),
                                  QStringLiteral("2026-03-01"), QStringLiteral("x"),
                                  QStringLiteral("y"), 1, 1, 0, 0);
        listing->open(QStringLiteral("select * from data"));
        e->setFileName(QStringLiteral("  "));
        e->ExportToExcel();
        QVERIFY(testsupport::scripted().shown.isEmpty());
        QVERIFY(openedFiles.isEmpty());
        QCOMPARE(QDir(book->path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("data.mdb")});
    }

    void columnWithoutFieldStopsBeforeWriting()
    {
        openCashBook();
        grid.add(QStringLiteral("nosuch"), QStringLiteral("x|y"));
        auto e = exporter();
        e->setFileName(book->file(QStringLiteral("x.xls")));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, e->ExportToExcel());
        QVERIFY(!QFile::exists(book->file(QStringLiteral("x.xls"))));
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

QUENVALE_TEST_MAIN(TestExporter)
#include "tst_exporter.moc"
