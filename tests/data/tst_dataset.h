#pragma once

// The dataset snapshot, its writes and the connection around it, on a real book; the reading
// and bringing up to date in tst_datasetrefresh.cpp.
#include <QObject>

class DatasetTest : public QObject
{
    Q_OBJECT

private slots:
    void freshBookHoldsHashedAdministrator();
    void snapshotIgnoresOtherWritersUntilReopened();
    void postAndDeleteTouchExactlyOneRow();
    void appendAddsOneRowToTableAndSnapshot();
    void sortIsInMemoryAndStable();
    void bookmarksSurviveSortAndNoticeDeletion();
    void reconnectLeavesDatasetsClosed();
    void quotesAreOrdinaryCharacters();
    void emptyAndClosedDatasetsRefuse();
    void startupRefusesMissingAndForeignFiles();
    void textsReadBackExactlyAtAnySize();
    void reopenReadsAgainOnlyAfterAWrite();
    void reopenTakesInOwnWritesAsAFreshReadingWould();
    void wholeTableComesInTheDatabasesOrder();
    void bigListingShowsItsLastRowsFirstAndFillsInTheRest();
    void fillingOutlivesAConnectionMadeAgain();
    void searchOverEveryRecordAnswersAsTheStatement();
};
