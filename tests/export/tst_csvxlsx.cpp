#include "app/mainform.h"
#include "cashbook/recordgrid.h"
#include "data/dm.h"
#include "data/formats.h"
#include "export/csvwriter.h"
#include "support/testsupport.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// Reads a CSV with Python's csv module; the file must begin with a UTF-8 byte-order mark
// when bom is set.
const char* kCsvScript = R"(
import csv, json, sys
raw = open(sys.argv[1], 'rb').read()
if sys.argv[2] == 'bom' and not raw.startswith(b'\xef\xbb\xbf'):
    sys.exit('no byte-order mark')
with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:
    print(json.dumps(list(csv.reader(f))))
)";

// Reads a workbook with openpyxl: formulas, cached values, number formats, panes, widths.
const char* kXlsxScript = R"(
import datetime, json, sys, openpyxl
def text(v):
    if isinstance(v, datetime.datetime): return v.strftime('%Y-%m-%d')
    if isinstance(v, (int, float)): return '%.15g' % v
    return '' if v is None else str(v)
book = openpyxl.load_workbook(sys.argv[1])
cached = openpyxl.load_workbook(sys.argv[1], data_only=True).active
sheet = book.active
print(json.dumps({
    'title': sheet.title,
    'cells': [[text(c.value) for c in row] for row in sheet.iter_rows()],
    'cached': [[text(c.value) for c in row] for row in cached.iter_rows()],
    'formats': [[c.number_format for c in row] for row in sheet.iter_rows()],
    'freeze': sheet.freeze_panes,
    'widths': [sheet.column_dimensions[chr(65 + i)].width for i in range(sheet.max_column)],
}))
)";

QJsonValue runPython(const char* script, const QStringList& arguments)
{
    QProcess python;
    python.start(kPython,
                 QStringList{QStringLiteral("-c"), QString::fromLatin1(script)} + arguments);
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput());
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

QList<QStringList> table(const QJsonValue& rows)
{
    QList<QStringList> result;
    for (const QJsonValue& row : rows.toArray()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells << cell.toString();
        result << cells;
    }
    return result;
}

bool pythonHas(const char* module)
{
    return QFile::exists(kPython) &&
           QProcess::execute(kPython, {QStringLiteral("-c"), QStringLiteral("import ") +
                                                                 QString::fromLatin1(module)}) == 0;
}

// Converts file with LibreOffice under LANG=C into UTF-8 CSV in folder, every text quoted.
// A CSV is read with every column as text, so nothing is reinterpreted; a workbook has its
// formulas recalculated on loading, so the sums are LibreOffice's own.
QString convertWithLibreOffice(const QString& file, const QString& folder, int csvColumns)
{
    const QString profile = folder + QStringLiteral("/lo-profile");
    QDir().mkpath(profile + QStringLiteral("/user"));
    QFile settings(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (!settings.open(QIODevice::WriteOnly))
        return {};
    settings.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)");
    settings.close();
    QStringList arguments{QStringLiteral("-env:UserInstallation=file://") + profile,
                          QStringLiteral("--headless")};
    if (csvColumns > 0) {
        QStringList formats;
        for (int c = 1; c <= csvColumns; ++c)
            formats << QStringLiteral("%1/2").arg(c);
        arguments << QStringLiteral("--infilter=CSV:44,34,76,1,") + formats.join(u'/');
    }
    const QString out = folder + QStringLiteral("/lo");
    arguments << QStringLiteral("--convert-to")
              << QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,true")
              << QStringLiteral("--outdir") << out << file;
    QProcess office;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    office.setProcessEnvironment(env);
    office.start(QStringLiteral("libreoffice"), arguments);
    if (!office.waitForFinished(240000) || office.exitCode() != 0)
        return {};
    const QString result = out + u'/' + QFileInfo(file).completeBaseName() + QStringLiteral(".csv");
    return QFile::exists(result) ? result : QString();
}

bool libreOfficeInstalled()
{
    return !QStandardPaths::findExecutable(QStringLiteral("libreoffice")).isEmpty();
}

// A book whose texts carry everything a CSV can trip over.
void fillTrickyBook(testsupport::MainWindowSession& session)
{
    session.add(QStringLiteral("收入"), QStringLiteral("2026-05-03"),
                QStringLiteral("他说\"好\",然后走了"), QStringLiteral("华联超市"), 1250.5, 1000, 0,
                0);
    session.add(QStringLiteral("支出"), QStringLiteral("2026-05-01"),
                QStringLiteral("第一行\n第二行"),
                QStringLiteral("=HYPERLINK(\"http://x\",\"点我\")"), 0, 0, 80, 80);
    session.add(QStringLiteral("收入"), QStringLiteral("2026-05-09"), QStringLiteral("+86 138"),
                QStringLiteral("@张三"), 300, 0, 0, 0);
    session.add(QStringLiteral("支出"), QStringLiteral("2026-05-10"), QStringLiteral("-12.5"),
                QStringLiteral("-折扣"), 0, 0, 1234567.89, 1000000);
    session.add(QStringLiteral("收入"), QStringLiteral("2026-05-11"), QStringLiteral("\t制表开头"),
                QStringLiteral("中文，全角逗号"), 0.3, 0.1, 0, 0);
    session.reload();
    MainForm->DBGridEh1->N8->trigger(); // 已收金额 hidden: it leaves the export
}

const QStringList kTitles = {
    QStringLiteral("收支类别"), QStringLiteral("日期"),     QStringLiteral("项目摘要"),
    QStringLiteral("单位名称"), QStringLiteral("收入合计"), QStringLiteral("应收账款"),
    QStringLiteral("支出合计"), QStringLiteral("已付金额"), QStringLiteral("应付账款")};

// The records as the CSV must hold them, in the grid's order (by date).
QList<QStringList> expectedCsv()
{
    auto s = [](const char* text) { return QString::fromUtf8(text); };
    return {kTitles,
            {s("支出"), s("2026-05-01"), s("第一行\n第二行"),
             s("'=HYPERLINK(\"http://x\",\"点我\")"), s("0"), s("0"), s("80"), s("80"), s("0")},
            {s("收入"), s("2026-05-03"), s("他说\"好\",然后走了"), s("华联超市"), s("1250.5"),
             s("250.5"), s("0"), s("0"), s("0")},
            {s("收入"), s("2026-05-09"), s("'+86 138"), s("'@张三"), s("300"), s("300"), s("0"),
             s("0"), s("0")},
            {s("支出"), s("2026-05-10"), s("-12.5"), s("'-折扣"), s("0"), s("0"), s("1234567.89"),
             s("1000000"), s("234567.89")},
            {s("收入"), s("2026-05-11"), s("'\t制表开头"), s("中文，全角逗号"), s("0.3"), s("0.2"),
             s("0"), s("0"), s("0")}};
}

} // namespace

class TestCsvXlsx : public QObject
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

    void csvReadBack_data()
    {
        QTest::addColumn<bool>("python");
        QTest::newRow("python csv") << true;
        QTest::newRow("LibreOffice") << false;
    }
    // Quotes, commas, line breaks, Chinese and formula-like texts come back exactly; the
    // hidden column stays out; amounts are plain numbers, dates ISO.
    void csvReadBack()
    {
        QFETCH(bool, python);
        if (!pythonHas("csv"))
            QSKIP("python3 is not installed");
        if (!python && !libreOfficeInstalled())
            QSKIP("LibreOffice is not installed");
        testsupport::MainWindowSession session;
        fillTrickyBook(session);
        const QString target = session.book.file(QStringLiteral("现金帐.csv"));
        testsupport::scripted().clear();
        testsupport::scripted().fileNames = {target};
        opened.clear();
        MainForm->exportCsvAction->trigger();
        QCOMPARE(testsupport::scripted().lastFilter, QStringLiteral("CSV文件 (*.csv)"));
        QCOMPARE(testsupport::scripted().shown.size(), 1); // the dialog only
        QCOMPARE(opened, QStringList{target});

        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        QVERIFY(raw.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(raw.count("\r\n"), 6); // one CRLF per record; the summary's own break is LF

        QString source = target;
        if (!python) {
            source = convertWithLibreOffice(target, session.book.path(), kTitles.size());
            QVERIFY(!source.isEmpty());
        }
        const QJsonValue rows =
            runPython(kCsvScript, {source, python ? QStringLiteral("bom") : QStringLiteral("-")});
        QCOMPARE(table(rows), expectedCsv());

        // A leading carriage return is neutralised too; real numbers never are.
        QCOMPARE(csv::neutralised(QStringLiteral("\rX")), QStringLiteral("'\rX"));
        QCOMPARE(csv::neutralised(QStringLiteral("-1.5e3")), QStringLiteral("-1.5e3"));
    }

    void xlsxReadBack_data()
    {
        QTest::addColumn<bool>("openpyxl");
        QTest::newRow("openpyxl") << true;
        QTest::newRow("LibreOffice") << false;
    }
    // The sheet has the .xls export's heading and titles, real numbers and dates, frozen
    // titles, fitted widths, and SUM formulas whose results are the grid's footer sums.
    void xlsxReadBack()
    {
        QFETCH(bool, openpyxl);
        if (openpyxl && !pythonHas("openpyxl"))
            QSKIP("python3-openpyxl is not installed");
        if (!openpyxl && (!libreOfficeInstalled() || !pythonHas("csv")))
            QSKIP("LibreOffice is not installed");
        testsupport::MainWindowSession session;
        fillTrickyBook(session);
        MainForm->Button7Click();
        const QString balance = MainForm->DBGridEh1->footerText(2);
        const QString target = session.book.file(QStringLiteral("现金帐.xlsx"));
        testsupport::scripted().clear();
        testsupport::scripted().fileNames = {target};
        opened.clear();
        MainForm->exportXlsxAction->trigger();
        QCOMPARE(testsupport::scripted().lastFilter,
                 QStringLiteral("Microsoft Excel 2007文件 (*.xlsx)"));
        QCOMPARE(opened, QStringList{target});

        QList<QStringList> cells;
        if (openpyxl) {
            const QJsonObject book = runPython(kXlsxScript, {target}).toObject();
            QCOMPARE(book.value(QStringLiteral("title")).toString(), QStringLiteral("现金帐"));
            QCOMPARE(book.value(QStringLiteral("freeze")).toString(), QStringLiteral("A5"));
            const QList<QStringList> formats = table(book.value(QStringLiteral("formats")));
            QCOMPARE(formats.value(4).value(1), QStringLiteral("yyyy-mm-dd"));
            for (int c = 4; c < 9; ++c)
                QCOMPARE(formats.value(5).value(c), QStringLiteral("#,##0.00"));
            const QJsonArray widths = book.value(QStringLiteral("widths")).toArray();
            QCOMPARE(widths.size(), 9);
            QVERIFY(widths[2].toDouble() > widths[0].toDouble()); // the summaries are long
            QVERIFY(widths[6].toDouble() >= 12);                  // "1,234,567.89"
            cells = table(book.value(QStringLiteral("cells")));
            const QList<QStringList> cached = table(book.value(QStringLiteral("cached")));
            const QString columns = QStringLiteral("EFGHI");
            for (int c = 4; c < 9; ++c) {
                const QString column(columns[c - 4]);
                QCOMPARE(cells.value(9).value(c), QStringLiteral("=SUM(") + column +
                                                      QStringLiteral("5:") + column +
                                                      QStringLiteral("9)"));
                // The data cells add up to what the formula's stored result says.
                double sum = 0;
                for (int r = 4; r < 9; ++r)
                    sum += cells.value(r).value(c).toDouble();
                QCOMPARE(formats::general(sum), cached.value(9).value(c));
                cells[9][c] = cached.value(9).value(c);
            }
        } else {
            const QString csvFile = convertWithLibreOffice(target, session.book.path(), 0);
            QVERIFY(!csvFile.isEmpty());
            cells = table(runPython(kCsvScript, {csvFile, QStringLiteral("-")}));
            // LibreOffice writes numbers as the cells show them.
            for (QStringList& row : cells)
                for (QString& cell : row)
                    if (cell.contains(QRegularExpression(QStringLiteral("^-?[\\d,]+\\.\\d\\d$"))))
                        cell = formats::general(QLocale::c().toDouble(QString(cell).remove(u',')));
        }

        QCOMPARE(cells.value(0).value(3), QStringLiteral("财务统计报表"));
        QCOMPARE(cells.value(1).value(0), QStringLiteral("制表人：Quenvale"));
        QVERIFY(cells.value(1).value(5).startsWith(QStringLiteral("制表时间：20")));
        QCOMPARE(cells.value(2).mid(0, 9).join(u'/'),
                 QStringLiteral("现   金   帐/现   金   帐/现   金   帐/现   金   帐/收  入/收  入/"
                                "支  出/支  出/支  出"));
        QCOMPARE(cells.value(3).value(4), QStringLiteral("合 计"));
        QCOMPARE(cells.value(3).value(5), QStringLiteral("应收账款"));
        // The records: texts as stored (a sheet cell is never a formula), numbers as numbers.
        QList<QStringList> expected = expectedCsv().mid(1);
        expected[0][3] = QStringLiteral("=HYPERLINK(\"http://x\",\"点我\")");
        expected[2][2] = QStringLiteral("+86 138");
        expected[2][3] = QStringLiteral("@张三");
        expected[3][3] = QStringLiteral("-折扣");
        expected[4][2] = QStringLiteral("\t制表开头");
        for (int r = 0; r < expected.size(); ++r)
            QCOMPARE(cells.value(4 + r).mid(0, 9), expected[r]);
        // The footer: the balance line, and the SUM results equal the grid's own sums.
        QCOMPARE(cells.value(9).value(2), balance);
        const int gridColumns[] = {4, 6, 7, 8, 9};
        for (int c = 4; c < 9; ++c)
            QCOMPARE(cells.value(9).value(c), MainForm->DBGridEh1->footerText(gridColumns[c - 4]));
    }

    // A file that cannot be written is reported and leaves nothing; an existing file is
    // replaced only when the operator agrees.
    void failedAndRefusedExports()
    {
        testsupport::MainWindowSession session;
        session.add(QStringLiteral("收入"), QStringLiteral("2026-05-03"), QStringLiteral("货款"),
                    QStringLiteral("华联"), 10, 10, 0, 0);
        session.reload();
        QFile plain(session.book.file(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        for (QAction* action : {MainForm->exportCsvAction, MainForm->exportXlsxAction}) {
            const bool csvFile = action == MainForm->exportCsvAction;
            testsupport::scripted().clear();
            testsupport::scripted().fileNames = {plain.fileName() + QStringLiteral("/x.dat")};
            opened.clear();
            action->trigger();
            QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("information"));
            QVERIFY(testsupport::scripted().lastText().startsWith(
                csvFile ? QStringLiteral("导出CSV文件失败：")
                        : QStringLiteral("导出Excel文件失败：")));
            QVERIFY(opened.isEmpty());

            const QString existing = session.book.file(QStringLiteral("old.dat"));
            auto content = [&existing] {
                QFile f(existing);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            };
            QFile old(existing);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            old.close();
            testsupport::scripted().clear();
            testsupport::scripted().fileNames = {existing, existing};
            testsupport::scripted().answers = {false, true};
            action->trigger();
            QCOMPARE(testsupport::scripted().lastKind(), QStringLiteral("yesNo"));
            QCOMPARE(content(), QByteArray("old"));
            action->trigger();
            QVERIFY(content().startsWith(csvFile ? QByteArray("\xEF\xBB\xBF") : QByteArray("PK")));
            QCOMPARE(QDir(session.book.path()).entryList({QStringLiteral("*.part")}).size(), 0);
        }
    }
};

QUENVALE_TEST_MAIN(TestCsvXlsx)
#include "tst_csvxlsx.moc"
