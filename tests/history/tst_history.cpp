// The change history in the book, on both engines: the chain of hashes over many appends, an
// entry altered or removed by another program named, two connections appending at once, the
// window's queries, the recycle bin read from the history, and the restore of a backup.
#include "data/bookrows.h"
#include "data/errors.h"
#include "data/recyclebin.h"
#include "datasupport.h"
#include "historysupport.h"
#include "maintenance/bookcopy.h"

#include <QDir>

#include <atomic>
#include <thread>

using namespace testsupport;
using namespace historytest;

namespace {

const QString kAdmin = QString::fromUtf16(schema::kAdministrator);

history::Change userAdded(const QString& name)
{
    return {
        history::Kind::Rows, QStringLiteral("userdb"), 0, {}, {{QStringLiteral("username"), name}}};
}

QList<qint64> numbers(const QString& book)
{
    sql::ScopedConnection conn(book);
    QList<qint64> seqs;
    QSqlQuery q = sql::exec(conn.db(), QStringLiteral("select seq from changes order by seq"));
    while (q.next())
        seqs << q.value(0).toLongLong();
    return seqs;
}

history::Verdict verdictOf(const QString& book)
{
    sql::ScopedConnection conn(book);
    return history::verify(conn.db());
}

qint64 addRecord(const QString& book, const QString& summary, double income)
{
    return insertRecord(book, QStringLiteral("收入"), QStringLiteral("2025-03-01"), summary,
                        QStringLiteral("华信公司"), income, 0, 0, 0);
}

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        history::setClock({});
        history::setOperator({});
    }

    void chainStaysWholeOverAppendsAndBatches()
    {
        BookFolder book;
        QCOMPARE(verdictOf(book.bookPath()).text(), QStringLiteral("记录完整"));
        append(book.bookPath(), kAdmin, userAdded(QStringLiteral("张会计")),
               QStringLiteral("增加用户"));
        const qint64 key = addRecord(book.bookPath(), QStringLiteral("货款"), 1000);
        {
            sql::ScopedConnection conn(book.bookPath());
            sql::Transaction tx(conn.db());
            const history::Values row = recordValues(conn.db(), key);
            // One batch: the record changed and a second one added.
            const qint64 batch =
                history::append(conn.db(), QStringLiteral("张会计"), QStringLiteral("收款登记"),
                                {{history::Kind::Changed,
                                  QStringLiteral("data"),
                                  key,
                                  row,
                                  {{QStringLiteral("2"), 400.0}, {QStringLiteral("3"), 600.0}}},
                                 {history::Kind::Added, QStringLiteral("data"), key + 1, {}, row}});
            QCOMPARE(batch, 2);
            tx.commit();
        }
        deleteRecord(book.bookPath(), key, QStringLiteral("李出纳"));
        QCOMPARE(numbers(book.bookPath()), (QList<qint64>{1, 2, 3, 4}));
        const history::Verdict v = verdictOf(book.bookPath());
        QVERIFY2(v.intact(), qPrintable(v.text()));
        QCOMPARE(v.checked, 4);

        sql::ScopedConnection conn(book.bookPath());
        const QList<history::Entry> all = history::find(conn.db(), {});
        QCOMPARE(all.size(), 4);
        QCOMPARE(all.at(0).action, QStringLiteral("删除"));
        QCOMPARE(all.at(0).before.value(2).second.toString(), QStringLiteral("货款"));
        QCOMPARE(all.at(1).batch, 2);
        QCOMPARE(all.at(2).batch, 2);
        QCOMPARE(all.at(2).after.value(0).first, QStringLiteral("2"));
        QCOMPARE(all.at(2).after.value(0).second.toDouble(), 400.0);
        for (int i = 0; i + 1 < all.size(); ++i)
            QCOMPARE(all.at(i).prevHash, all.at(i + 1).hash);
        QCOMPARE(all.at(3).prevHash, QString());
        QCOMPARE(history::describe(QStringLiteral("data"), all.at(2).after),
                 QStringLiteral("已收金额：400.00；应收账款：600.00"));
        QCOMPARE(history::lastNumber(conn.db()), 4);

        // Any text a record may hold comes back as it was.
        const history::Values odd = {
            {QStringLiteral("b"), QStringLiteral("引号\"反斜\\换行\n\x01制表\t")},
            {QStringLiteral("1"), 0.1 + 0.2},
            {QStringLiteral("c"), QVariant()},
            {QStringLiteral("key"), qint64(1) << 60}};
        const history::Values back = history::fromJson(history::toJson(odd));
        QCOMPARE(back.size(), odd.size());
        QCOMPARE(back.at(0).second.toString(), odd.at(0).second.toString());
        QCOMPARE(back.at(1).second.toDouble(), 0.1 + 0.2);
        QVERIFY(back.at(2).second.isNull());
        QCOMPARE(back.at(3).second.toLongLong(), qint64(1) << 60);
    }

    void entryAlteredByAnotherProgramIsNamed()
    {
        BookFolder book;
        const QString path = book.bookPath();
        for (const QString& name : {QStringLiteral("甲"), QStringLiteral("乙"),
                                    QStringLiteral("丙"), QStringLiteral("丁")})
            append(path, kAdmin, userAdded(name));
        // A value changed with sqlite3 (psql on a server).
        runTool(path, QStringLiteral("update changes set after_values=replace(after_values, '乙', "
                                     "'戊') where seq=2"));
        QCOMPARE(verdictOf(path).text(), QStringLiteral("第 2 条修改记录已被其他程序改动"));
        runTool(path, QStringLiteral("update changes set after_values=replace(after_values, '戊', "
                                     "'乙') where seq=2"));
        QVERIFY(verdictOf(path).intact());

        // Rewritten with a fresh hash of its own: the next entry no longer follows it.
        auto rewrite = [&path](qint64 seq) {
            sql::ScopedConnection conn(path);
            history::Entry e =
                history::select(conn.db(), QStringLiteral("c.seq=?"), {seq}, {}).constFirst();
            e.afterText = history::toJson({{QStringLiteral("username"), QStringLiteral("己")}});
            runTool(path, QStringLiteral("update changes set after_values='%1', hash='%2' where "
                                         "seq=%3")
                              .arg(e.afterText, history::hashOf(e))
                              .arg(seq));
        };
        rewrite(3);
        QCOMPARE(verdictOf(path).text(), QStringLiteral("第 3 条修改记录已被其他程序改动"));
        // The newest entry has no next one: the head row tells, and keeps telling after the next
        // append.
        BookFolder other;
        for (int i = 0; i < 3; ++i)
            append(other.bookPath(), kAdmin, userAdded(QStringLiteral("u%1").arg(i)));
        const QString otherPath = other.bookPath();
        {
            sql::ScopedConnection conn(otherPath);
            history::Entry e =
                history::select(conn.db(), QStringLiteral("c.seq=3"), {}, {}).constFirst();
            e.afterText = history::toJson({{QStringLiteral("username"), QStringLiteral("x")}});
            runTool(otherPath, QStringLiteral("update changes set after_values='%1', hash='%2' "
                                              "where seq=3")
                                   .arg(e.afterText, history::hashOf(e)));
        }
        QCOMPARE(verdictOf(otherPath).text(), QStringLiteral("第 3 条修改记录已被其他程序改动"));
        append(otherPath, kAdmin, userAdded(QStringLiteral("later")));
        QCOMPARE(verdictOf(otherPath).text(), QStringLiteral("第 3 条修改记录已被其他程序改动"));
    }

    void entryRemovedByAnotherProgramIsNamed()
    {
        BookFolder book;
        const QString path = book.bookPath();
        for (int i = 0; i < 5; ++i)
            append(path, kAdmin, userAdded(QStringLiteral("u%1").arg(i)));
        runTool(path, QStringLiteral("delete from changes where seq=3"));
        QCOMPARE(verdictOf(path).text(), QStringLiteral("第 3 条修改记录已被其他程序删除"));

        BookFolder tail;
        for (int i = 0; i < 4; ++i)
            append(tail.bookPath(), kAdmin, userAdded(QStringLiteral("u%1").arg(i)));
        runTool(tail.bookPath(), QStringLiteral("delete from changes where seq>=3"));
        const history::Verdict v = verdictOf(tail.bookPath());
        QCOMPARE(v.problem, history::Verdict::Problem::Removed);
        QCOMPARE(v.firstBad, 3);
        // Numbers are never given twice: the next entry comes after the removed ones, and the gap
        // stays visible.
        append(tail.bookPath(), kAdmin, userAdded(QStringLiteral("later")));
        QCOMPARE(numbers(tail.bookPath()), (QList<qint64>{1, 2, 5}));
        QCOMPARE(verdictOf(tail.bookPath()).text(),
                 QStringLiteral("第 3 条修改记录已被其他程序删除"));

        // The head row itself removed.
        BookFolder headless;
        append(headless.bookPath(), kAdmin, userAdded(QStringLiteral("u")));
        runTool(headless.bookPath(), QStringLiteral("delete from bookinfo where name='history'"));
        QCOMPARE(verdictOf(headless.bookPath()).text(),
                 QStringLiteral("修改记录的校验标记已被其他程序改动或删除"));
    }

    void twoConnectionsAppendingNeverFork()
    {
        BookFolder book;
        const QString path = book.bookPath();
        // One connection holds its transaction open after appending; the other waits for it.
        std::atomic<bool> secondDone{false};
        std::thread second;
        {
            sql::ScopedConnection first(path);
            sql::Transaction tx(first.db());
            history::append(first.db(), QStringLiteral("甲"), {}, {userAdded(QStringLiteral("a"))});
            second = std::thread([&] {
                append(path, QStringLiteral("乙"), userAdded(QStringLiteral("b")));
                secondDone = true;
            });
            QTest::qWait(400);
            QVERIFY(!secondDone);
            tx.commit();
        }
        second.join();
        QVERIFY(secondDone);
        // Then many at once from two threads.
        std::atomic<int> failures{0};
        auto appender = [&](const QString& user) {
            try {
                for (int i = 0; i < 40; ++i)
                    append(path, user, userAdded(QStringLiteral("%1%2").arg(user).arg(i)));
            } catch (const QuenvaleError&) {
                ++failures;
            }
        };
        std::thread one(appender, QStringLiteral("丙"));
        std::thread two(appender, QStringLiteral("丁"));
        one.join();
        two.join();
        QCOMPARE(failures.load(), 0);
        QList<qint64> expected;
        for (qint64 i = 1; i <= 82; ++i)
            expected << i;
        QCOMPARE(numbers(path), expected);
        const history::Verdict v = verdictOf(path);
        QVERIFY2(v.intact(), qPrintable(v.text()));
        QCOMPARE(
            scalar(path, QStringLiteral("select count(distinct prevhash) from changes")).toInt(),
            82);
    }

    void windowQueriesFilterByDateUserAndText()
    {
        BookFolder book;
        const QString path = book.bookPath();
        auto on = [](const char* day) {
            history::setClock([day] {
                return QDateTime(QDate::fromString(QString::fromLatin1(day), Qt::ISODate),
                                 QTime(23, 59, 58));
            });
        };
        on("2025-03-01");
        append(path, QStringLiteral("张会计"),
               {history::Kind::Added,
                QStringLiteral("data"),
                7,
                {},
                {{QStringLiteral("b"), QStringLiteral("货款 50%")}}});
        on("2025-03-02");
        append(path, QStringLiteral("李出纳"),
               {history::Kind::Added,
                QStringLiteral("data"),
                8,
                {},
                {{QStringLiteral("b"), QStringLiteral("货款 500")}}});
        on("2025-03-03");
        append(path, kAdmin, userAdded(QStringLiteral("王五")), QStringLiteral("增加用户"));
        sql::ScopedConnection conn(path);
        auto seqs = [&conn](const history::Filter& filter) {
            QList<qint64> found;
            for (const history::Entry& e : history::find(conn.db(), filter))
                found << e.seq;
            return found;
        };
        QCOMPARE(seqs({}), (QList<qint64>{3, 2, 1}));
        QCOMPARE(seqs({QDate(2025, 3, 2), QDate(2025, 3, 2), {}, {}}), QList<qint64>{2});
        QCOMPARE(seqs({QDate(2025, 3, 2), {}, {}, {}}), (QList<qint64>{3, 2}));
        QCOMPARE(seqs({{}, QDate(2025, 3, 1), {}, {}}), QList<qint64>{1});
        // Names as the user table compares them, letter case aside.
        QCOMPARE(seqs({{}, {}, QStringLiteral("张会计"), {}}), QList<qint64>{1});
        QCOMPARE(seqs({{}, {}, QStringLiteral("nobody"), {}}), QList<qint64>{});
        // Text in the values, the action or the user; a typed % is a percent sign.
        QCOMPARE(seqs({{}, {}, {}, QStringLiteral("货款")}), (QList<qint64>{2, 1}));
        QCOMPARE(seqs({{}, {}, {}, QStringLiteral("50%")}), QList<qint64>{1});
        QCOMPARE(seqs({{}, {}, {}, QStringLiteral("增加用户")}), QList<qint64>{3});
        QCOMPARE(seqs({{}, {}, QStringLiteral("李出纳"), QStringLiteral("货款")}),
                 QList<qint64>{2});
        history::Filter few;
        few.limit = 2;
        QCOMPARE(seqs(few), (QList<qint64>{3, 2}));
        // Sorted as both engines sort texts, byte by byte.
        QCOMPARE(history::users(conn.db()),
                 (QStringList{QStringLiteral("张会计"), QStringLiteral("李出纳"), kAdmin}));
    }

    void binHoldsDeletesUntilRestoredOrPurged()
    {
        BookFolder book;
        const QString path = book.bookPath();
        const qint64 a = addRecord(path, QStringLiteral("货款"), 1000);
        const qint64 b = addRecord(path, QStringLiteral("租金"), 200.5);
        const qint64 c = addRecord(path, QStringLiteral("运费"), 30);
        for (qint64 key : {a, b, c})
            deleteRecord(path, key, QStringLiteral("张会计"));
        sql::ScopedConnection conn(path);
        QSqlDatabase& db = conn.db();
        QList<history::Entry> bin = recyclebin::list(db);
        QCOMPARE(bin.size(), 3);
        QCOMPARE(bin.at(0).key, c);
        QCOMPARE(bin.at(1).user, QStringLiteral("张会计"));
        QCOMPARE(
            history::describe(QStringLiteral("data"), recyclebin::recordValues(bin.at(1))),
            QStringLiteral("收支类别：收入；日期：2025-03-01；项目摘要：租金；单位名称：华信公司；"
                           "收入合计：200.50；已收金额：0.00；应收账款：200.50；支出合计：0.00；"
                           "已付金额：0.00；应付账款：0.00"));

        // Back under its own key, with every value; the history says so.
        recyclebin::restore(db, bin.at(1), QStringLiteral("李出纳"));
        QCOMPARE(
            scalar(path, QStringLiteral("select b||'/'||\"1\"||'/'||c from data where id=?"), {b})
                .toString(),
            QStringLiteral("租金/200.5/华信公司"));
        QCOMPARE(recyclebin::list(db).size(), 2);
        // Once more from a window still showing it: refused, nothing written.
        const qint64 before = history::lastNumber(db);
        try {
            recyclebin::restore(db, bin.at(1), QStringLiteral("张会计"));
            QFAIL("restored twice");
        } catch (const ConflictError& e) {
            QVERIFY2(
                e.message().contains(QStringLiteral("已被其他用户恢复到账本中（操作员：李出纳")),
                qPrintable(e.message()));
        }
        QCOMPARE(history::lastNumber(db), before);

        // Purged by the administrator alone; then it cannot come back.
        QVERIFY_THROWS_EXCEPTION(QuenvaleError,
                                 recyclebin::purge(db, bin.at(0), QStringLiteral("张会计")));
        recyclebin::purge(db, bin.at(0), kAdmin);
        QCOMPARE(recyclebin::list(db).size(), 1);
        QCOMPARE(recyclebin::list(db).constFirst().key, a);
        QVERIFY_THROWS_EXCEPTION(ConflictError, recyclebin::restore(db, bin.at(0), kAdmin));
        QCOMPARE(scalar(path, QStringLiteral("select count(*) from data where id=?"), {c}).toInt(),
                 0);

        // Deleted again after its restore: in the bin once, the newer delete.
        deleteRecord(path, b, QStringLiteral("李出纳"));
        bin = recyclebin::list(db);
        QCOMPARE(bin.size(), 2);
        QCOMPARE(bin.at(0).key, b);
        QCOMPARE(bin.at(0).user, QStringLiteral("李出纳"));
        // A key the book holds again (another program put it back) is no longer in the bin, and
        // a restore of it is refused naming what the book holds.
        scalar(path,
               QStringLiteral("insert into data (id, a, day1, b) %1 values (?, '支出', "
                              "'2025-03-02', '别的')")
                   .arg(onServer() ? QStringLiteral("overriding system value") : QString()),
               {a});
        QCOMPARE(recyclebin::list(db).size(), 1);
        try {
            recyclebin::restore(db, bin.at(1), kAdmin);
            QFAIL("restored over a record the book holds");
        } catch (const ConflictError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("支出，2025-03-02，别的")),
                     qPrintable(e.message()));
        }
        QVERIFY(addRecord(path, QStringLiteral("新"), 1) > c); // keys never given twice
        QVERIFY(history::verify(db).intact());
        QCOMPARE(history::select(db, QStringLiteral("c.kind='purged'"), {}, {}).size(), 1);
    }

    void restoredBackupCarriesItsHistoryAndAnEntry()
    {
        BookFolder book;
        const QString path = book.bookPath();
        for (int i = 0; i < 3; ++i)
            append(path, kAdmin, userAdded(QStringLiteral("u%1").arg(i)));
        const QString backup = book.file(QStringLiteral("backup.mdb"));
        bookcopy::snapshot(path, backup);
        for (int i = 0; i < 2; ++i)
            append(path, kAdmin, userAdded(QStringLiteral("v%1").arg(i)));
        history::setOperator(QStringLiteral("张会计"));
        bookcopy::Restore restore(backup, path);
        restore.check();
        const QString safety = restore.replace();
        sql::ScopedConnection conn(path);
        // The backup's three, then the restore numbered after the five the book had given.
        QCOMPARE(numbers(path), (QList<qint64>{1, 2, 3, 6}));
        const history::Entry last = history::find(conn.db(), {}).constFirst();
        QCOMPARE(last.kind, history::Kind::Book);
        QCOMPARE(last.action, QStringLiteral("恢复数据库"));
        QCOMPARE(last.user, QStringLiteral("张会计"));
        QCOMPARE(last.after.value(0).second.toString(), backup);
        QCOMPARE(last.after.value(1).second.toString(), safety);
        const history::Verdict v = history::verify(conn.db());
        QVERIFY2(v.intact(), qPrintable(v.text()));
        // The kept book still holds the entries the restore replaced.
        QCOMPARE(numbers(safety), (QList<qint64>{1, 2, 3, 4, 5}));

        // A backup from before the history: its book starts with the restore.
        BookFolder older;
        runTool(older.bookPath(), QStringLiteral("delete from changes"));
        runTool(older.bookPath(), QStringLiteral("delete from bookinfo where name='history'"));
        const QString old = book.file(QStringLiteral("old.mdb"));
        bookcopy::snapshot(older.bookPath(), old);
        bookcopy::Restore again(old, path);
        again.check();
        again.replace();
        QCOMPARE(numbers(path), QList<qint64>{7});
        QVERIFY(history::verify(conn.db()).intact());
    }
};

QUENVALE_DATA_TEST_MAIN(HistoryTest)
#include "tst_history.moc"
