// Month-end closing and the opening balance on a real book: each kind of write refused in a
// closed month, reopening, the refusals of closing itself, and a closing and a write from two
// connections at once.
#include "data/bookfacts.h"
#include "data/bookwriter.h"
#include "data/closing.h"
#include "data/dm.h"
#include "data/errors.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>

using namespace testsupport;

namespace {

const QDate kToday(2024, 6, 15);

RowValues recordOn(const QString& day, double received = 10)
{
    CashRecord r;
    r.kind = QStringLiteral("收入");
    r.date = day;
    r.summary = QStringLiteral("货款");
    r.income = received;
    r.received = received;
    return r.columnValues();
}

RowValues settlementOn(qint64 record, const QString& day)
{
    return {{QStringLiteral("record"), record},
            {QStringLiteral("day1"), day},
            {QStringLiteral("amount"), 5.0},
            {QStringLiteral("username"), QStringLiteral("超级管理员")}};
}

int count(const QString& book, const QString& table)
{
    return scalar(book, QStringLiteral("select count(*) from ") + table).toInt();
}

// Runs write and gives the text of the ClosedMonthError it raised; empty when it passed.
template <typename Write> QString refusal(Write write)
{
    try {
        write();
    } catch (const ClosedMonthError& e) {
        return e.message();
    }
    return {};
}

QString refused(const QString& month)
{
    return month + QStringLiteral(" 已结账，不能增加、修改或删除该月的记录。");
}

// A second connection of the program in a thread of its own: the other PC.
class OtherPc : public QThread
{
public:
    OtherPc(QString book, std::function<void(BookWriter&)> work)
        : m_book(std::move(book)), m_work(std::move(work))
    {
    }
    QSemaphore done;
    QString failure;

protected:
    void run() override
    {
        const QString name = QStringLiteral("other-pc");
        {
            QSqlDatabase db = sql::open(m_book, name);
            BookWriter writer(name, nullptr);
            try {
                m_work(writer);
            } catch (const std::exception& e) {
                failure = QString::fromUtf8(e.what());
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        done.release();
    }

private:
    QString m_book;
    std::function<void(BookWriter&)> m_work;
};

} // namespace

class ClosingTest : public QObject
{
    Q_OBJECT

private slots:
    void aClosedMonthRefusesEveryWriteUntilReopened();
    void closingAndOpeningRefuseWhatCannotBe();
    void aClosingWaitsForAWriteInFlightAndAWriteForAClosing();
};

void ClosingTest::aClosedMonthRefusesEveryWriteUntilReopened()
{
    BookFolder book;
    const QString path = book.bookPath();
    const qint64 jan = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2024-01-20"),
                                    QStringLiteral("一月"), {}, 10, 10, 0, 0);
    const qint64 feb = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2024-02-10"),
                                    QStringLiteral("二月"), {}, 20, 5, 0, 0);
    const qint64 mar = insertRecord(path, QStringLiteral("收入"), QStringLiteral("2024-03-05"),
                                    QStringLiteral("三月"), {}, 30, 30, 0, 0);
    Tdmfm dm(book.openName());
    BookWriter& writer = *dm.writer();
    QSignalSpy written(&writer, &BookWriter::written);
    closing::close(writer, QStringLiteral("2024-02"), kToday);
    QCOMPARE(written.count(), 1);
    const auto facts = written.at(0).at(0).value<QList<RowChange>>();
    QCOMPARE(facts.size(), 1);
    QCOMPARE(facts[0].table, QStringLiteral("bookinfo"));
    QCOMPARE(facts[0].valueAfter(QStringLiteral("closed_through")).toString(), u"2024-02"_qs);
    QSqlDatabase db = dm.connection();
    QCOMPARE(bookfacts::closedThrough(db), QStringLiteral("2024-02"));
    written.clear();
    // The closing is a batch of the change history of its own.
    auto actions = [&path] {
        QStringList names;
        sql::ScopedConnection conn(path);
        QSqlQuery q =
            sql::exec(conn.db(), QStringLiteral("select action, tablename, "
                                                "after_values from changes order by seq"));
        while (q.next())
            names << q.value(0).toString() + u'/' + q.value(1).toString() + u'/' +
                         (q.value(2).toString().contains(u"2024-02") ? u"2024-02"_qs : u""_qs);
        return names;
    };
    QCOMPARE(actions(), QStringList{u"月末结账/bookinfo/2024-02"_qs});

    const int records = count(path, QStringLiteral("data"));
    // Every kind of write of a record dated in a closed month, and the month it names.
    QCOMPARE(refusal([&] { writer.add(QStringLiteral("data"), recordOn(u"2024-02-29"_qs)); }),
             refused(u"2024-02"_qs));
    QCOMPARE(refusal([&] { writer.add(QStringLiteral("data"), recordOn(u"2023-12-31"_qs)); }),
             refused(u"2023-12"_qs));
    QCOMPARE(refusal([&] {
                 writer.modify(QStringLiteral("data"), mar, {}, recordOn(u"2024-02-01"_qs));
             }),
             refused(u"2024-02"_qs)); // into the closed month
    QCOMPARE(refusal([&] {
                 writer.modify(QStringLiteral("data"), jan, {}, recordOn(u"2024-03-01"_qs));
             }),
             refused(u"2024-01"_qs)); // out of it
    QCOMPARE(refusal([&] {
                 writer.modify(QStringLiteral("data"), feb, {},
                               {{QStringLiteral("b"), QStringLiteral("改")}});
             }),
             refused(u"2024-02"_qs)); // a change that leaves the date
    QCOMPARE(refusal([&] { writer.remove(QStringLiteral("data"), feb, {}); }),
             refused(u"2024-02"_qs));
    // A settlement dated in the closed month, and one on a record of it (which changes the
    // record's received amount in the same batch).
    QCOMPARE(refusal([&] {
                 BookWriter::Batch batch(writer);
                 batch.add(QStringLiteral("settlements"), settlementOn(mar, u"2024-02-28"_qs));
                 batch.commit();
             }),
             refused(u"2024-02"_qs));
    QCOMPARE(refusal([&] {
                 BookWriter::Batch batch(writer);
                 batch.add(QStringLiteral("settlements"), settlementOn(feb, u"2024-04-02"_qs));
                 batch.modify(QStringLiteral("data"), feb, {},
                              {{QStringLiteral("2"), 10.0}, {QStringLiteral("3"), 10.0}});
                 batch.commit();
             }),
             refused(u"2024-02"_qs));
    // A batch whose first write is allowed leaves nothing when a later one is refused.
    QCOMPARE(refusal([&] {
                 BookWriter::Batch batch(writer);
                 batch.add(QStringLiteral("data"), recordOn(u"2024-04-01"_qs));
                 batch.remove(QStringLiteral("data"), jan, {});
                 batch.commit();
             }),
             refused(u"2024-01"_qs));
    // A statement whose rows are not known one by one.
    QCOMPARE(refusal([&] {
                 writer.execute(QStringLiteral("data"), QStringLiteral("delete from data"), {});
             }),
             refused(u"2024-02"_qs));
    QCOMPARE(count(path, QStringLiteral("data")), records);
    QCOMPARE(count(path, QStringLiteral("settlements")), 0);
    QCOMPARE(scalar(path, QStringLiteral("select b from data where id=?"), {feb}).toString(),
             QStringLiteral("二月"));
    QCOMPARE(written.count(), 0);
    QCOMPARE(actions().size(), 1); // nothing refused reached the history
    // Later months and rows of other tables go on.
    const qint64 april = writer.add(QStringLiteral("data"), recordOn(u"2024-04-01"_qs));
    writer.modify(QStringLiteral("data"), mar, {}, recordOn(u"2024-03-06"_qs));
    {
        BookWriter::Batch batch(writer);
        batch.add(QStringLiteral("settlements"), settlementOn(mar, u"2024-03-20"_qs));
        batch.add(QStringLiteral("rz"), {{QStringLiteral("username"), QStringLiteral("甲")}});
        batch.commit();
    }
    writer.remove(QStringLiteral("data"), april, {});

    // Reopening lets the latest closed month's writes through; the month before stays closed.
    QCOMPARE(closing::reopen(writer), QStringLiteral("2024-02"));
    QCOMPARE(bookfacts::closedThrough(db), QStringLiteral("2024-01"));
    QCOMPARE(actions().last(), u"反结账/bookinfo/"_qs);
    writer.modify(QStringLiteral("data"), feb, {}, {{QStringLiteral("b"), QStringLiteral("改")}});
    writer.add(QStringLiteral("data"), recordOn(u"2024-02-29"_qs));
    QCOMPARE(refusal([&] { writer.remove(QStringLiteral("data"), jan, {}); }),
             refused(u"2024-01"_qs));
    // Nothing is dated before January: reopening it leaves no month closed.
    QCOMPARE(closing::reopen(writer), QStringLiteral("2024-01"));
    QCOMPARE(bookfacts::closedThrough(db), QString());
    writer.remove(QStringLiteral("data"), jan, {});
    QCOMPARE(count(path, QStringLiteral("data")), records);
}

void ClosingTest::closingAndOpeningRefuseWhatCannotBe()
{
    BookFolder book;
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2024-03-05"),
                 QStringLiteral("三月"), {}, 30, 30, 0, 0);
    Tdmfm dm(book.openName());
    BookWriter& writer = *dm.writer();
    QSqlDatabase db = dm.connection();
    auto message = [](auto write) {
        try {
            write();
        } catch (const QuenvaleError& e) {
            return e.message();
        }
        return QString();
    };
    // Typed months.
    for (const QString& typed : {u"2024-13"_qs, u"2024/03"_qs, u"三月"_qs, u""_qs, u"24-3"_qs})
        QVERIFY2(message([&] { closing::close(writer, typed, kToday); }).contains(u"结账月份"),
                 qPrintable(typed));
    QCOMPARE(closing::parseMonth(QStringLiteral(" 2024-3 ")), QStringLiteral("2024-03"));
    // Not after this month; the current month may be closed.
    QCOMPARE(message([&] { closing::close(writer, u"2024-07"_qs, kToday); }),
             QStringLiteral("2024-07 还没有到，不能结账：结账月份不能晚于本月（2024-06）。"));
    QCOMPARE(message([&] { closing::reopen(writer); }),
             QStringLiteral("还没有结账的月份，不用反结账。"));
    // The opening balance: amounts of cents, real dates.
    const QString wrongAmount = QStringLiteral("期初余额“%1”不对：只能是金额，整数部分最多12位，"
                                               "最多两位小数。");
    for (const QString& amount :
         {u"12.345"_qs, u"abc"_qs, u"1e5"_qs, u"1,000"_qs, u"1234567890123"_qs})
        QCOMPARE(message([&] { closing::setOpening(writer, amount, u"2024-01-01"_qs); }),
                 wrongAmount.arg(amount));
    QCOMPARE(message([&] { closing::setOpening(writer, u" "_qs, u"2024-01-01"_qs); }),
             QStringLiteral("期初余额必须输入！"));
    for (const QString& day : {u"2024-02-30"_qs, u"2024/01/01"_qs, u"2024-1-1"_qs, u""_qs})
        QVERIFY2(message([&] {
                     closing::setOpening(writer, u"100"_qs, day);
                 }).startsWith(u"期初余额的日期"),
                 qPrintable(day));
    QCOMPARE(bookfacts::value(db, QStringLiteral("opening_balance")), QString());
    closing::setOpening(writer, QStringLiteral("-1234.5"), QStringLiteral("2024-01-01"));
    QCOMPARE(bookfacts::value(db, QStringLiteral("opening_balance")), QStringLiteral("-1234.50"));
    QCOMPARE(bookfacts::opening(db).units, Q_INT64_C(-1234500000));
    QCOMPARE(bookfacts::opening(db).date, QStringLiteral("2024-01-01"));
    // Closed months keep their balances: the opening balance waits for a reopening.
    closing::close(writer, u"2024-05"_qs, kToday);
    QCOMPARE(message([&] { closing::close(writer, u"2024-04"_qs, kToday); }),
             QStringLiteral("2024-04 已经结账（已结账至 2024-05），不用再结账。"));
    QCOMPARE(message([&] { closing::setOpening(writer, u"1"_qs, u"2024-01-01"_qs); }),
             QStringLiteral("已结账至 2024-05，不能修改期初余额（已结账月份的余额会随之改变）。"
                            "请先反结账。"));
    QCOMPARE(bookfacts::opening(db).units, Q_INT64_C(-1234500000));
    closing::close(writer, u"2024-06"_qs, kToday);
    QCOMPARE(bookfacts::closedThrough(db), QStringLiteral("2024-06"));
}

void ClosingTest::aClosingWaitsForAWriteInFlightAndAWriteForAClosing()
{
    BookFolder book;
    Tdmfm dm(book.openName());
    BookWriter& writer = *dm.writer();
    // A record of February is being written here while the other PC closes February: the
    // closing comes after the write, which stands.
    {
        BookWriter::Batch batch(writer);
        batch.add(QStringLiteral("data"), recordOn(u"2024-02-10"_qs));
        OtherPc other(book.bookPath(),
                      [](BookWriter& w) { closing::close(w, QStringLiteral("2024-02"), kToday); });
        other.start();
        QVERIFY(!other.done.tryAcquire(1, 400)); // waits for this write
        batch.commit();
        QVERIFY(other.done.tryAcquire(1, 10000));
        other.wait();
        QCOMPARE(other.failure, QString());
    }
    QCOMPARE(count(book.bookPath(), QStringLiteral("data")), 1);
    QSqlDatabase db = dm.connection();
    QCOMPARE(bookfacts::closedThrough(db), QStringLiteral("2024-02"));
    // The other PC closes March and holds its transaction a while: a write of March made
    // meanwhile waits for it and is then refused, never slipped in before the closing.
    QSemaphore locked;
    OtherPc other(book.bookPath(), [&locked](BookWriter& w) {
        BookWriter::Batch batch(w);
        batch.setFact(QStringLiteral("closed_through"), QStringLiteral("2024-03"));
        locked.release();
        QThread::msleep(600);
        batch.commit();
    });
    other.start();
    QVERIFY(locked.tryAcquire(1, 10000));
    QCOMPARE(refusal([&] { writer.add(QStringLiteral("data"), recordOn(u"2024-03-31"_qs)); }),
             refused(u"2024-03"_qs));
    QVERIFY(other.done.tryAcquire(1, 10000));
    other.wait();
    QCOMPARE(other.failure, QString());
    QCOMPARE(count(book.bookPath(), QStringLiteral("data")), 1);
    writer.add(QStringLiteral("data"), recordOn(u"2024-04-01"_qs));
    QCOMPARE(count(book.bookPath(), QStringLiteral("data")), 2);
}

QUENVALE_DATA_TEST_MAIN(ClosingTest)
#include "tst_closing.moc"
