// The journal of the program's own writes on its own: stamps are made up, no book is opened.
#include "data/changejournal.h"

#include <QtTest>

namespace {

ChangeStamp at(qint64 changes, qint64 connection = 7, qint64 dataVersion = 1)
{
    return {connection, dataVersion, changes};
}

} // namespace

class ChangeJournalTest : public QObject
{
    Q_OBJECT

private slots:
    void ownWritesInARowAreTakenInByKey();
    void anythingUnnotedMeansReadingAgain();
    void onlyTheRowsExpectedAreNoted();
    void aNewConnectionAndOldWritesAreForgotten();
};

void ChangeJournalTest::ownWritesInARowAreTakenInByKey()
{
    ChangeJournal journal;
    journal.note(at(10), at(11), QStringLiteral("data"), 101);
    journal.note(at(11), at(12), QStringLiteral("rz"), 0, -1); // the login log: rows unknown
    journal.note(at(12), at(13), QStringLiteral("DATA"), 102);
    std::vector<qint64> keys;
    QVERIFY(journal.ownWritesSince(at(10), at(13), QStringLiteral("data"), keys));
    QCOMPARE(keys, (std::vector<qint64>{101, 102}));
    // Asked about a stamp before the later writes, only the writes until then count.
    keys.clear();
    QVERIFY(journal.ownWritesSince(at(10), at(12), QStringLiteral("data"), keys));
    QCOMPARE(keys, std::vector<qint64>{101});
    // The login log's write leaves data as it was; a write to data does not.
    QVERIFY(journal.tableUnchangedSince(at(11), QStringLiteral("data"), at(12)));
    QVERIFY(!journal.tableUnchangedSince(at(11), QStringLiteral("data"), at(13)));
    QVERIFY(!journal.tableUnchangedSince(at(11), QStringLiteral("rz"), at(12)));
    QVERIFY(journal.tableUnchangedSince(at(13), QStringLiteral("data"), at(13)));
    // One row written since the lists were current, after the login log's write.
    QVERIFY(journal.onlyRowWrittenSince(at(11), QStringLiteral("data"), at(12), at(13)));
    QVERIFY(!journal.onlyRowWrittenSince(at(10), QStringLiteral("data"), at(12), at(13)));
}

void ChangeJournalTest::anythingUnnotedMeansReadingAgain()
{
    ChangeJournal journal;
    journal.note(at(10), at(11), QStringLiteral("data"), 101);
    journal.note(at(12), at(13), QStringLiteral("data"), 102); // 11 to 12 is not ours
    std::vector<qint64> keys;
    QVERIFY(!journal.ownWritesSince(at(10), at(13), QStringLiteral("data"), keys));
    // Another program's commit moves the data version.
    keys.clear();
    QVERIFY(!journal.ownWritesSince(at(10), at(11, 7, 2), QStringLiteral("data"), keys));
    // A stamp that cannot be told (a server book) is never unchanged.
    QVERIFY(!journal.tableUnchangedSince({}, QStringLiteral("data"), {}));
    // Rows of the listed table not known one by one.
    journal.note(at(13), at(15), QStringLiteral("data"), 0, -1);
    keys.clear();
    QVERIFY(!journal.ownWritesSince(at(12), at(15), QStringLiteral("data"), keys));
    QVERIFY(journal.tableUnchangedSince(at(13), QStringLiteral("rz"), at(15)));
    // Without a connection there is no stamp to take.
    QCOMPARE(ChangeJournal().stamp(), ChangeStamp{});
}

void ChangeJournalTest::onlyTheRowsExpectedAreNoted()
{
    ChangeJournal journal;
    journal.note(at(10), at(12), QStringLiteral("data"), 101);       // two rows for one key
    journal.note(at(12), at(13, 7, 2), QStringLiteral("data"), 102); // another commit in between
    journal.note(at(13), at(14, 8), QStringLiteral("data"), 103);    // another connection
    journal.note(at(14), at(14), QStringLiteral("data"), 104);       // nothing written
    std::vector<qint64> keys;
    QVERIFY(!journal.ownWritesSince(at(10), at(12), QStringLiteral("data"), keys));
    QVERIFY(!journal.ownWritesSince(at(12), at(13), QStringLiteral("data"), keys));
    QVERIFY(keys.empty());
}

void ChangeJournalTest::aNewConnectionAndOldWritesAreForgotten()
{
    ChangeJournal journal;
    const qint64 start = 100;
    for (size_t i = 0; i < ChangeJournal::kLength + 10; ++i)
        journal.note(at(start + qint64(i)), at(start + qint64(i) + 1), QStringLiteral("data"),
                     qint64(i) + 1);
    const qint64 end = start + qint64(ChangeJournal::kLength) + 10;
    std::vector<qint64> keys;
    // A reading older than the writes kept is read again; a recent one takes them in.
    QVERIFY(!journal.ownWritesSince(at(start), at(end), QStringLiteral("data"), keys));
    keys.clear();
    QVERIFY(journal.ownWritesSince(at(end - 5), at(end), QStringLiteral("data"), keys));
    QCOMPARE(keys.size(), size_t(5));
    // A reconnect: the old connection's writes no longer count for anything.
    journal.note(at(0, 9), at(1, 9), QStringLiteral("data"), 500);
    keys.clear();
    QVERIFY(!journal.ownWritesSince(at(end - 5), at(end), QStringLiteral("data"), keys));
    keys.clear();
    QVERIFY(journal.ownWritesSince(at(0, 9), at(1, 9), QStringLiteral("data"), keys));
    QCOMPARE(keys, std::vector<qint64>{500});
}

QTEST_APPLESS_MAIN(ChangeJournalTest)
#include "tst_changejournal.moc"
