// Reading a listing and bringing it up to date: own writes taken in, the kept reading, the
// database's order, a big listing filled in.
#include "data/bookwriter.h"
#include "tst_dataset.h"

#include "data/dm.h"
#include "data/listingquery.h"
#include "data/sql.h"
#include "datasupport.h"

#include <QSignalSpy>

using namespace testsupport;

void DatasetTest::textsReadBackExactlyAtAnySize()
{
    // More rows than the reader samples before it stops looking up a mostly distinct column.
    BookFolder book;
    const QStringList names = {QStringLiteral("甲方"), QStringLiteral("乙方"), QStringLiteral(""),
                               QStringLiteral("Zeta"), QStringLiteral("alpha")};
    auto summary = [](int i) { return QStringLiteral("摘要%1𠀀").arg(i); };
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::Transaction tx(conn.db());
        for (int i = 0; i < 5000; ++i)
            sql::exec(conn.db(),
                      QStringLiteral("insert into data (a,day1,b,c,\"1\",o) values (?,?,?,?,?,?)"),
                      {i % 2 ? QStringLiteral("收入") : QStringLiteral("支出"),
                       QStringLiteral("2015-12-%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                       summary(i), i % 7 == 0 ? QVariant() : QVariant(names[i % 5]), i * 0.01,
                       QStringLiteral("1")});
        tx.commit();
    }
    Tdmfm dm(book.openName());
    Dataset* d = dm.ADOQuery15;
    d->open(QStringLiteral("select * from data order by id"));
    QCOMPARE(d->recordCount(), 5000);
    for (int i = 0; i < 5000; ++i) {
        QCOMPARE(d->valueAt(i, QStringLiteral("b")).toString(), summary(i));
        const QVariant c = d->valueAt(i, QStringLiteral("c"));
        QCOMPARE(c.isNull(), i % 7 == 0);
        if (i % 7 != 0)
            QCOMPARE(c.toString(), names[i % 5]);
        QCOMPARE(d->valueAt(i, QStringLiteral("a")).toString(),
                 i % 2 ? QStringLiteral("收入") : QStringLiteral("支出"));
    }
    // Sorted by a text: nulls first, then text order; equal texts keep the statement's order.
    d->setSort(QStringLiteral("c"));
    for (int i = 1; i < 5000; ++i) {
        const QVariant l = d->valueAt(i - 1, QStringLiteral("c"));
        const QVariant r = d->valueAt(i, QStringLiteral("c"));
        QVERIFY(l.isNull() || !r.isNull());
        if (l.isNull() != r.isNull())
            continue;
        const int order = QString::compare(l.toString(), r.toString());
        QVERIFY(order <= 0);
        if (order == 0)
            QVERIFY(d->valueAt(i - 1, QStringLiteral("1")).toDouble() <
                    d->valueAt(i, QStringLiteral("1")).toDouble());
    }
    // A changed text is what the snapshot and the book then hold.
    d->last();
    const qint64 key = d->key();
    d->edit();
    d->setValue(QStringLiteral("b"), QStringLiteral("改过的摘要"));
    d->post();
    QCOMPARE(d->text(QStringLiteral("b")), QStringLiteral("改过的摘要"));
    QCOMPARE(scalar(book.bookPath(), QStringLiteral("select b from data where id=?"), {key}),
             QVariant(QStringLiteral("改过的摘要")));
}

void DatasetTest::reopenReadsAgainOnlyAfterAWrite()
{
    BookFolder book;
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("2015-12-08"),
                 QStringLiteral("房租"), QStringLiteral("甲"), 100, 80, 0, 0);
    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-09"),
                 QStringLiteral("水费"), QString(), 0, 0, 30, 30);
    Tdmfm dm(book.openName());
    Dataset* d = dm.ADOQuery15;
    const QString all = QStringLiteral("select * from data order by day1");
    QVERIFY(!d->reopenUnchanged(all)); // closed
    d->open(all);
    QVERIFY(!d->reopenUnchanged(QStringLiteral("select * from data")));
    QVERIFY(!d->reopenUnchanged(all, {1}));
    // Unchanged: back as a fresh reading leaves it, whatever was done to it meanwhile.
    d->setSort(QStringLiteral("b DESC"));
    d->setDisplayLabel(QStringLiteral("b"), QStringLiteral("摘要"));
    d->moveField(QStringLiteral("b"), 0);
    d->last();
    QVERIFY(d->reopenUnchanged(all));
    QCOMPARE(d->sort(), QString());
    QCOMPARE(d->recNo(), 1);
    QCOMPARE(d->field(2).name, QStringLiteral("b"));
    QCOMPARE(d->field(2).displayLabel, QStringLiteral("b"));
    QCOMPARE(d->text(QStringLiteral("b")), QStringLiteral("房租"));
    // A write through this connection, by another dataset.
    dm.ADOQuery1->execSql(QStringLiteral("update data set b='电费' where b='水费'"));
    QVERIFY(!d->reopenUnchanged(all));
    d->open(all);
    QVERIFY(d->reopenUnchanged(all));
    // A commit by another connection.
    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-10"),
                 QStringLiteral("网费"), QString(), 0, 0, 20, 20);
    QVERIFY(!d->reopenUnchanged(all));
    d->open(all);
    QCOMPARE(d->recordCount(), 3);
    // A new connection never passes for the old one, even with the same counts; a server's
    // transaction numbers are the whole server's, whatever the connection.
    const Dataset::ChangeStamp before = dm.ADOQuery1->changeStamp();
    dm.setConnected(false);
    dm.setConnected(true);
    QCOMPARE(dm.ADOQuery1->changeStamp() != before, !testsupport::onServer());
    QVERIFY(!d->reopenUnchanged(all)); // closed with the connection
}

void DatasetTest::reopenTakesInOwnWritesAsAFreshReadingWould()
{
    BookFolder book;
    // Ties on the ordering day, where the key decides.
    const char* days[] = {"2015-12-08", "2015-12-09", "2015-12-08", "2015-12-10", "2015-12-09"};
    for (int i = 0; i < 5; ++i)
        insertRecord(book.bookPath(), QStringLiteral("收入"), QString::fromLatin1(days[i]),
                     QStringLiteral("摘要%1").arg(i), QStringLiteral("甲"), 10 * i, 10 * i, 0, 0);
    Tdmfm dm(book.openName());
    Tdmfm other(book.openName()); // reads afresh on a connection of its own
    Dataset* d = dm.ADOQuery15;
    auto sameAsFresh = [&](const QString& statement, const QVariantList& values) {
        QVERIFY(d->reopenUnchanged(statement, values));
        QCOMPARE(d->recNo(), d->isEmpty() ? 0 : 1);
        other.ADOQuery15->open(statement, values);
        QCOMPARE(rowsOf(d), rowsOf(other.ADOQuery15));
    };
    auto add = [&](const QString& day, const QString& summary) {
        dm.ADOTable5->openForAppend();
        dm.ADOTable5->append();
        dm.ADOTable5->setValue(QStringLiteral("day1"), day);
        dm.ADOTable5->setValue(QStringLiteral("b"), summary);
        dm.ADOTable5->post();
    };
    auto changeDay = [&](int position, const QString& day) {
        d->moveTo(position);
        d->edit();
        d->setValue(QStringLiteral("day1"), day);
        d->post();
    };

    const QString all = QStringLiteral("select * from data order by day1");
    d->open(all);
    add(QStringLiteral("2015-12-08"), QStringLiteral("新增")); // joins the tie, last by key
    changeDay(4, QStringLiteral("2015-12-09"));                // moves into the middle tie
    d->moveTo(0);
    d->deleteCurrent();
    d->setSort(QStringLiteral("b DESC"));
    sameAsFresh(all, {});

    // A filter with bound values, descending: a row changed out of it leaves it.
    const QString later = QStringLiteral("select * from data where day1>=? order by day1 desc");
    d->open(later, {QStringLiteral("2015-12-09")});
    changeDay(0, QStringLiteral("2015-11-30"));
    add(QStringLiteral("2015-12-09"), QStringLiteral("又一条"));
    add(QStringLiteral("2015-12-01"), QStringLiteral("范围外"));
    sameAsFresh(later, {QStringLiteral("2015-12-09")});

    // The listing is kept aside while a search is shown, and takes in what was done meanwhile.
    d->setKeptStatement(all);
    d->open(all);
    d->open(QStringLiteral("select * from data where b like ?"), {QStringLiteral("%摘要%")});
    changeDay(0, QStringLiteral("2015-12-31"));
    add(QStringLiteral("2015-12-07"), QStringLiteral("搜索时新增"));
    sameAsFresh(all, {});

    // The program's own statement on another table (the login log) needs no reading, and
    // asking about a stamp before a later write leaves that write out.
    d->open(all);
    const Dataset::ChangeStamp beforeLog = d->changeStamp();
    dm.ADOQuery1->execSql(
        QStringLiteral("insert into rz (username,btime) values (?,?) returning id"),
        {QStringLiteral("甲"), QStringLiteral("2015-12-08 08:00:00")});
    const Dataset::ChangeStamp afterLog = d->changeStamp();
    QVERIFY(d->tableUnchangedSince(beforeLog, QStringLiteral("data")));
    add(QStringLiteral("2015-12-08"), QStringLiteral("登录后新增"));
    QVERIFY(!d->tableUnchangedSince(beforeLog, QStringLiteral("data")));
    QVERIFY(d->tableUnchangedSince(beforeLog, QStringLiteral("data"), afterLog));
    sameAsFresh(all, {});

    // Anything else written since means a full reading.
    dm.ADOQuery1->execSql(QStringLiteral("update data set c='乙' where b='新增'"));
    QVERIFY(!d->reopenUnchanged(all));
    d->open(all);
    d->open(QStringLiteral("select * from data where b like ?"), {QStringLiteral("%摘要%")});
    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-10"),
                 QStringLiteral("别处写的"), QString(), 0, 0, 20, 20);
    QVERIFY(!d->reopenUnchanged(all));
}

void DatasetTest::wholeTableComesInTheDatabasesOrder()
{
    QUENVALE_LOCAL_BOOK_ONLY("a server book's statement is read as it stands");
    BookFolder book;
    // Ties, nulls, and texts whose UTF-16 and UTF-8 orders differ (U+FF21 against an emoji).
    {
        sql::ScopedConnection conn(book.bookPath());
        const QVariantList names{
            QStringLiteral("b"), QStringLiteral("\U0001F600"), QStringLiteral("\uFF21"), QVariant(),
            QStringLiteral("a"), QStringLiteral("b"),          QStringLiteral("中"),     QVariant(),
            QStringLiteral("ä"), QStringLiteral("a")};
        for (int i = 0; i < names.size(); ++i)
            sql::exec(conn.db(), QStringLiteral("insert into data (b, day1) values (?, ?)"),
                      {names[i], QStringLiteral("2015-12-%1").arg(10 - i % 3)});
    }
    Tdmfm dm(book.openName());
    Dataset* d = dm.ADOQuery15;
    auto keysInSqliteOrder = [&](const QString& statement) {
        sql::ScopedConnection conn(book.bookPath());
        QSqlQuery q = sql::exec(conn.db(), statement);
        QStringList keys;
        while (q.next())
            keys << q.value(QStringLiteral("id")).toString();
        return keys;
    };
    auto keysRead = [&](const QString& statement) {
        d->open(statement);
        QStringList keys;
        for (const QString& row : rowsOf(d))
            keys << row.section(u'|', 0, 0);
        return keys;
    };
    for (const char* statement :
         {"select * from data order by b", "select * from data order by b desc",
          "select * from data order by day1", "select * from data order by day1 desc"})
        QCOMPARE(keysRead(QString::fromLatin1(statement)),
                 keysInSqliteOrder(QString::fromLatin1(statement)));
    // A number among the dates sorts before them in SQLite, and so it does here.
    insertRecord(book.bookPath(), QStringLiteral("收入"), QStringLiteral("x"), QStringLiteral("z"),
                 QString(), 1, 1, 0, 0);
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::exec(conn.db(), QStringLiteral("update data set day1=20151209 where b='z'"));
    }
    const QString byDay = QStringLiteral("select * from data order by day1");
    QCOMPARE(keysRead(byDay), keysInSqliteOrder(byDay));
    QCOMPARE(d->recordCount(), 11);
}

void DatasetTest::bigListingShowsItsLastRowsFirstAndFillsInTheRest()
{
    BookFolder book;
    {
        sql::ScopedConnection conn(book.bookPath());
        sql::Transaction tx(conn.db());
        // Ties on the day, where the key decides, and days never given; amounts that are not
        // whole cents, of equal size either way, and past six decimals. A local book may hold a
        // text another program stored among them: it adds nothing. Whole cents whose sum in
        // cents is past what a double holds exactly.
        const QVariant odd[] = {1.005,
                                0.1,
                                0.2,
                                -2.675,
                                2.675,
                                1e-7,
                                testsupport::onServer() ? QVariant()
                                                        : QVariant(QStringLiteral("12元"))};
        for (int i = 0; i < 60; ++i)
            sql::exec(conn.db(),
                      QStringLiteral("insert into data (a,day1,b,\"1\",\"2\",\"4\") values "
                                     "(?,?,?,?,?,?)"),
                      {QStringLiteral("收入"),
                       i % 7 == 0 ? QVariant() : QVariant(QStringLiteral("2015-12-1%1").arg(i % 5)),
                       QStringLiteral("摘要%1").arg(i), i, odd[i % 7], 5000000000000.01 + i});
        tx.commit();
    }
    // Server slices of 7 rows: each full one has the next read ahead.
    const FillFrom small(1, 4, 7);
    Tdmfm dm(book.openName());
    Tdmfm other(book.openName());
    Dataset* d = dm.ADOQuery15;
    const QString all = QStringLiteral("select * from data order by day1");
    auto fresh = [&](const QString& statement) {
        other.ADOQuery15->open(statement);
        return rowsOf(other.ADOQuery15);
    };

    // The count and the last rows at once; the rest read between events, in place.
    QSignalSpy resets(d, &Dataset::aboutToReset);
    QSignalSpy filled(d, &Dataset::filled);
    d->open(all);
    d->last();
    QVERIFY(d->isFilling());
    QCOMPARE(d->recordCount(), 60);
    QVERIFY(d->isUnread(55));
    QVERIFY(!d->isUnread(56));
    const QStringList expected = fresh(all);
    QCOMPARE(QString::number(d->key()) + u'|' + d->text(QStringLiteral("a")),
             expected[59].section(u'|', 0, 1));
    // The footers' figures meanwhile come from the book, without the rest being read, and are
    // those of the rows once read.
    const std::vector<int> money = {d->fieldIndex(QStringLiteral("1")),
                                    d->fieldIndex(QStringLiteral("2")),
                                    d->fieldIndex(QStringLiteral("4"))};
    const std::vector<Dataset::Totals> early = d->totals(money);
    QVERIFY(d->isFilling());
    resets.clear();
    QTRY_VERIFY(!d->isFilling());
    QCOMPARE(filled.count(), 1);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(d->recNo(), 60);
    QCOMPARE(rowsOf(d), expected);
    const std::vector<Dataset::Totals> late = d->totals(money);
    QCOMPARE(early[0].sum.general(), QStringLiteral("1770"));
    QCOMPARE(early[1].largest, -2.675);
    QCOMPARE(early[2].sum.exactText(), QStringLiteral("300000000001770.60"));
    for (size_t i = 0; i < money.size(); ++i) {
        QCOMPARE(early[i].sum.general(), late[i].sum.general());
        QCOMPARE(early[i].sum.exactText(), late[i].sum.exactText());
        QCOMPARE(early[i].largest, late[i].largest);
    }

    // A row asked for before its turn has the rest read at once; descending as well.
    const QString down = all + QStringLiteral(" desc");
    const QStringList downwards = fresh(down);
    d->open(down);
    // The server orders ties of a descending date upwards by key: read in one go there.
    QCOMPARE(d->isFilling(), !testsupport::onServer());
    QCOMPARE(d->valueAt(0, QStringLiteral("b")), other.ADOQuery15->valueAt(0, QStringLiteral("b")));
    QVERIFY(!d->isFilling());
    QCOMPARE(rowsOf(d), downwards);

    // Another program's commit meanwhile: read again as the book is now, the last row current.
    d->open(all);
    d->last();
    insertRecord(book.bookPath(), QStringLiteral("支出"), QStringLiteral("2015-12-31"),
                 QStringLiteral("别处写的"), QString(), 0, 0, 5, 5);
    QTRY_VERIFY(!d->isFilling());
    QCOMPARE(d->recNo(), 61);
    QCOMPARE(d->text(QStringLiteral("b")), QStringLiteral("别处写的"));
    QCOMPARE(rowsOf(d), fresh(all));

    // This program's own add meanwhile is taken in; the figures asked for before the rows are
    // all read are already those of the listing it ends as, and once read, those of the book.
    d->open(all);
    const std::vector<Dataset::Totals> before = d->totals(money);
    dm.ADOTable5->openForAppend();
    dm.ADOTable5->append();
    dm.ADOTable5->setValue(QStringLiteral("day1"), QStringLiteral("2015-12-11"));
    dm.ADOTable5->setValue(QStringLiteral("b"), QStringLiteral("同时新增"));
    dm.ADOTable5->setValue(QStringLiteral("1"), 7.5);
    dm.ADOTable5->setValue(QStringLiteral("4"), -5000000000001.01);
    dm.ADOTable5->post();
    const std::vector<Dataset::Totals> meanwhile = d->totals(money);
    QVERIFY(d->isFilling());
    QTRY_VERIFY(!d->isFilling());
    QCOMPARE(rowsOf(d), fresh(all));
    const std::vector<Dataset::Totals> after = d->totals(money);
    const std::vector<Dataset::Totals> read = other.ADOQuery15->totals(money);
    QCOMPARE(before[0].sum.general(), QStringLiteral("1770"));
    QCOMPARE(after[0].sum.general(), QStringLiteral("1777.5"));
    for (size_t i = 0; i < money.size(); ++i) {
        QCOMPARE(meanwhile[i].sum.exactText(), after[i].sum.exactText());
        QCOMPARE(after[i].sum.exactText(), read[i].sum.exactText());
        QCOMPARE(after[i].largest, read[i].largest);
    }
    QCOMPARE(after[2].largest, 5000000000059.01);

    // A search meanwhile drops the listing rather than finish it; it is read again later.
    d->setKeptStatement(all);
    d->open(all);
    d->open(QStringLiteral("select * from data where b like ?"), {QStringLiteral("%1%")});
    QVERIFY(!d->isFilling());
    QVERIFY(!d->reopenUnchanged(all));
}

void DatasetTest::searchOverEveryRecordAnswersAsTheStatement()
{
    BookFolder book;
    const QString path = book.bookPath();
    struct Row
    {
        const char *kind, *summary, *counterparty, *marker;
    };
    // ASCII letters in either case, a letter with a case beyond ASCII, the search's own wildcard
    // and escape characters as plain text, nulls and records not marked for the search.
    const Row rows[] = {{"收入", "Rent 房租", "甲公司", "1"}, {"支出", "rent 押金", nullptr, "1"},
                        {"收入", "房租", "乙 Shop", "0"},     {"支出", "水费 50%", "SHOP", "1"},
                        {"收入", "a_b\\c", "丙", "1"},        {"收入", "Ärger", "ärger", "1"},
                        {"收入 支出", nullptr, "shop", "1"}};
    for (const Row& r : rows)
        insertRecord(path, QString::fromUtf8(r.kind), QStringLiteral("2015-12-08"),
                     r.summary ? QString::fromUtf8(r.summary) : QString(),
                     r.counterparty ? QString::fromUtf8(r.counterparty) : QString(), 1, 1, 0, 0,
                     QString::fromLatin1(r.marker));
    Tdmfm dm(book.openName());
    Tdmfm other(book.openName());
    Dataset* d = dm.ADOQuery15;
    // The rows by key: a statement without an order may come in the server's storage order.
    auto keyed = [](Dataset* listing) {
        QStringList keyed = rowsOf(listing);
        std::sort(keyed.begin(), keyed.end(), [](const QString& l, const QString& r) {
            return l.section(u'|', 0, 0).toLongLong() < r.section(u'|', 0, 0).toLongLong();
        });
        return keyed;
    };
    auto search = [&](const QString& summary, const QString& counterparty, bool income,
                      bool expense) {
        ListingQuery::Criteria criteria;
        criteria.summary = summary;
        criteria.counterparty = counterparty;
        criteria.income = income;
        criteria.expense = expense;
        const ListingQuery query = ListingQuery::quickSearch(criteria);
        d->open(query);
        other.ADOQuery15->open(query);
        return keyed(d) == keyed(other.ADOQuery15);
    };
    d->setKeptQuery(ListingQuery::allRecords());
    d->open(ListingQuery::allRecords());
    QVERIFY(search(QStringLiteral("RENT"), {}, false, false));
    QCOMPARE(d->recordCount(), 2);
    QVERIFY(search(QStringLiteral("ent"), QStringLiteral("甲"), true, false));
    QVERIFY(search({}, QStringLiteral("shop"), false, false));
    QVERIFY(search(QStringLiteral("50%"), {}, false, true));
    QVERIFY(search(QStringLiteral("_b\\"), {}, false, false));
    QVERIFY(search(QStringLiteral("ärger"), {}, false, false));
    QVERIFY(search({}, {}, true, true));
    QCOMPARE(d->recordCount(), 1);
    QVERIFY(search(QStringLiteral("租 "), {}, false, false));
    QCOMPARE(d->recordCount(), 0);
    // Another program's record after the reading: the statement runs, and finds it.
    insertRecord(path, QStringLiteral("收入"), QStringLiteral("2015-12-09"),
                 QStringLiteral("新的 rent"), QString(), 1, 1, 0, 0);
    QVERIFY(search(QStringLiteral("rent"), {}, false, false));
    QCOMPARE(d->recordCount(), 3);
    if (!d->reopenUnchanged(ListingQuery::allRecords()))
        d->open(ListingQuery::allRecords());
    QCOMPARE(d->recordCount(), 8);
    QVERIFY(search(QStringLiteral("rent"), {}, false, false));
    QCOMPARE(d->recordCount(), 3);
    // This program's own change and delete while every record is shown, the search after them
    // answered over the rows held: as the statement still.
    QVERIFY(d->reopenUnchanged(ListingQuery::allRecords()));
    {
        BookWriter::Batch batch(*dm.writer());
        batch.modify(QStringLiteral("data"), d->keyAt(3), {},
                     {{QStringLiteral("b"), QStringLiteral("RENT 改")}});
        batch.remove(QStringLiteral("data"), d->keyAt(0), {});
        batch.commit();
    }
    QVERIFY(search(QStringLiteral("rent"), {}, false, false));
    QCOMPARE(d->recordCount(), 3);
}
