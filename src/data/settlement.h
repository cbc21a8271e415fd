#pragma once

#include "data/cashrecord.h"
#include "data/errors.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QtGlobal>

class BookWriter;

// Money received or paid later on a record (收款/付款登记). A settlement is a row of its own
// (record key, day, amount, user, note, time written) and, written with it in one batch, the
// record's received "2" raised and its rest "3" lowered by the amount ("5" and "6" for a record
// of kind 支出). So "2" always holds every receipt, and what came at entry is "2" less the
// settlements (stats/moneyflow.h). Amounts here are money units (data/money.h).
namespace settlement {

// One settlement of a record.
struct Entry
{
    qint64 id = 0;
    QString day; // yyyy-mm-dd
    qint64 units = 0;
    QString user;
    QString note;
    QString written; // yyyy-mm-dd hh:mm:ss
};

// A record as the registration window shows it, with its settlements by date.
struct Target
{
    qint64 key = 0;
    RowValues row;       // every column but the key, as read: compared when writing
    bool receipt = true; // settled by receipts ("2"/"3"); false for 支出 ("5"/"6")
    QString day;
    QString summary;
    QString party;
    qint64 total = 0; // "1" or "4"
    qint64 done = 0;  // "2" or "5": received or paid so far, at entry and since
    qint64 rest = 0;  // "3" or "6"
    QList<Entry> entries;
};

// Throws MissingRowError when the record is not in the book.
Target read(QSqlDatabase& db, qint64 key);

// What a refusal is about, so that a window can put the cursor there.
enum class Field { None, Day, Amount };

// A settlement or a change refused by the book's rules; nothing was written.
class Refused : public QuenvaleError
{
public:
    Refused(QString message, Field field = Field::None)
        : QuenvaleError(std::move(message)), m_field(field)
    {
    }
    Field field() const { return m_field; }

private:
    Field m_field;
};

// Registers units received (or paid) on day on the record as opened, in one batch of writer:
// refused when the book holds another record now than opened, when the amount is not above 0
// or above the open rest, or when day comes before the record's date. The writer refuses a
// closed month. Gives the settlement's key.
qint64 add(BookWriter& writer, const Target& opened, const QString& day, qint64 units,
           const QString& user, const QString& note,
           const QDateTime& now = QDateTime::currentDateTime());

// Takes settlement id back, the record's amounts with it, in one batch; the administrator's
// alone.
void cancel(BookWriter& writer, qint64 id, const QString& user);

// True for the user who may cancel settlements.
bool mayCancel(const QString& user);

// The rules a change of record key (before → the values written) keeps while it has
// settlements: its side (收入/支出) stays, its received (paid) stays at least what was settled,
// its date stays on or before the first settlement. Throws Refused.
void checkChange(QSqlDatabase& db, qint64 key, const RowValues& before, const RowValues& after);

} // namespace settlement
