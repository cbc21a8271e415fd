#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/formats.h"
#include "support/testsupport.h"

#include <QDesktopServices>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

namespace {

using Rows = QVector<QStringList>;

// Reads a worksheet with python3-xlrd: every cell as text, numbers in their shortest form.
const char* kXlrdScript = R"(
import json, sys, xlrd
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
def text(v):
    return ('%.15g' % v) if isinstance(v, float) else str(v)
print(json.dumps([[text(v) for v in sheet.row_values(r)] for r in range(sheet.nrows)]))
)";

bool readWithXlrd(const QString& file, Rows& rows)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromLatin1(kXlrdScript), file});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return false;
    }
    const QJsonArray all = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const QJsonValue& row : all) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return !rows.isEmpty();
}

bool xlrdInstalled()
{
    return QFile::exists(QStringLiteral("/usr/bin/python3")) &&
           QProcess::execute(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral("-c"), QStringLiteral("import xlrd")}) == 0;
}

// Reads a worksheet with LibreOffice, converted to UTF-8 CSV.
bool readWithLibreOffice(const QString& file, const QString& folder, Rows& rows)
{
    QProcess office;
    office.setWorkingDirectory(folder);
    office.start(QStringLiteral("libreoffice"),
                 {QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                  QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
                  QStringLiteral("--outdir"), folder, file});
    if (!office.waitForFinished(180000) || office.exitCode() != 0)
        return false;
    QFile csv(folder + u'/' + QFileInfo(file).completeBaseName() + QStringLiteral(".csv"));
    if (!csv.open(QIODevice::ReadOnly))
        return false;
    const QString all = QString::fromUtf8(csv.readAll());
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QChar ch = all.at(i);
        if (quoted) {
            if (ch == u'"' && i + 1 < all.size() && all.at(i + 1) == u'"') {
                cell += u'"';
                ++i;
            } else if (ch == u'"') {
                quoted = false;
            } else {
                cell += ch;
            }
        } else if (ch == u'"') {
            quoted = true;
        } else if (ch == u',') {
            row << cell;
            cell.clear();
        } else if (ch == u'\n') {
            row << cell;
            cell.clear();
            rows << row;
            row.clear();
        } else if (ch != u'\r') {
            cell += ch;
        }
    }
    return !rows.isEmpty();
}

QString at(const Rows& rows, int row, int column)
{
    return row < rows.size() ? rows[row].value(column) : QString();
}

} // namespace

class TestExcelCommand : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void openFile(const QUrl& url) { opened << url.toLocalFile(); }

private slots:
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void cashBookReadBySpreadsheet_data()
    {
        QTest::addColumn<bool>("xlrd");
        QTest::newRow("python3-xlrd") << true;
        QTest::newRow("LibreOffice") << false;
    }
    void cashBookReadBySpreadsheet()
    {
        QFETCH(bool, xlrd);
        if (xlrd && !xlrdInstalled())
            QSKIP("python3-xlrd is not installed");
        if (!xlrd && QStandardPaths::findExecutable(QStringLiteral("libreoffice")).isEmpty())
            QSKIP("LibreOffice is not installed");
        opened.clear();

        testsupport::BookFolder book;
        const QString path = book.bookPath();
        testsupport::insertRecord(path, QStringLiteral("收入"), QStringLiteral("2026-05-03"),
                                  QStringLiteral("销售货款"), QStringLiteral("华联超市"), 1250.5,
                                  1000, 0, 0);
        testsupport::insertRecord(path, QStringLiteral("支出"), QStringLiteral("2026-05-01"),
                                  QStringLiteral("办公用品"), QStringLiteral("文具店 \"A\""), 0, 0,
                                  80, 80);
        testsupport::insertRecord(path, QStringLiteral("收入"), QStringLiteral("2026-05-09"),
                                  QStringLiteral("服务费"), QStringLiteral("张三"), 300, 0, 0, 0);

        MainForm = new TMainForm;
        dmfm = new Tdmfm;
        struct Windows
        {
            ~Windows()
            {
                delete MainForm;
                MainForm = nullptr;
                delete dmfm;
                dmfm = nullptr;
            }
        } windows;
        MainForm->bindData();
        MainForm->show();
        MainForm->Button12Click();
        MainForm->Button7Click(); // the balance line under "项 目 摘 要"
        const QString balance = MainForm->DBGridEh1->footerText(2);
        QVERIFY(balance.startsWith(QStringLiteral("收支合计余额：")));

        const QString target = book.file(QStringLiteral("现金帐.xls"));
        testsupport::scripted().clear();
        testsupport::scripted().fileNames = {target};
        MainForm->Excel1Click();
        QCOMPARE(testsupport::scripted().lastFilter,
                 QStringLiteral("Microsoft Excel xls文件 (*.xls)"));
        QCOMPARE(testsupport::scripted().lastSuffix, QStringLiteral("xls"));
        QCOMPARE(testsupport::scripted().shown.size(), 1); // the dialog only
        QCOMPARE(opened, QStringList{target});
        QCOMPARE(dmfm->ADOQuery15->recNo(), 3); // still on the last record

        Rows rows;
        if (xlrd)
            QVERIFY(readWithXlrd(target, rows));
        else
            QVERIFY(readWithLibreOffice(target, book.path(), rows));

        QCOMPARE(at(rows, 0, 3), QStringLiteral("财务统计报表"));
        QCOMPARE(at(rows, 1, 0), QStringLiteral("制表人：Quenvale"));
        QVERIFY(at(rows, 1, 5).startsWith(QStringLiteral("制表时间：20")));
        QCOMPARE(at(rows, 2, 0), QStringLiteral("现   金   帐"));
        QCOMPARE(at(rows, 2, 4), QStringLiteral("收  入"));
        QCOMPARE(at(rows, 2, 7), QStringLiteral("支  出"));
        QCOMPARE(at(rows, 3, 2), QStringLiteral("项 目 摘 要"));
        QCOMPARE(at(rows, 3, 9), QStringLiteral("应付账款"));

        // The records in the grid's order (by date), amounts as numbers.
        const QStringList first{QStringLiteral("支出"),     QStringLiteral("2026-05-01"),
                                QStringLiteral("办公用品"), QStringLiteral("文具店 \"A\""),
                                QStringLiteral("0"),        QStringLiteral("0"),
                                QStringLiteral("0"),        QStringLiteral("80"),
                                QStringLiteral("80"),       QStringLiteral("0"),
                                QStringLiteral("1")};
        QCOMPARE(rows.value(4).mid(0, 11), first);
        QCOMPARE(at(rows, 5, 2), QStringLiteral("销售货款"));
        QCOMPARE(at(rows, 5, 4), QStringLiteral("1250.5"));
        QCOMPARE(at(rows, 5, 6), QStringLiteral("250.5"));
        QCOMPARE(at(rows, 6, 3), QStringLiteral("张三"));

        // The sums: the balance line in the footer row, and the amount columns add up to the
        // grid's own footers.
        QCOMPARE(at(rows, 7, 2), balance);
        for (int column : {4, 5, 7, 8}) {
            double total = 0;
            for (int row = 4; row <= 6; ++row)
                total += at(rows, row, column).toDouble();
            QCOMPARE(formats::general(total), MainForm->DBGridEh1->footerText(column));
        }
    }
};

QUENVALE_TEST_MAIN(TestExcelCommand)
#include "tst_excelcommand.moc"
