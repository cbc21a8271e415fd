#pragma once

#include "data/changejournal.h"

#include <QObject>
#include <QPointer>
#include <QStringListModel>

#include <optional>

class BookWriter;
class Dataset;
struct RowChange;

// The entry panel's two pick lists, the book's distinct item summaries (b) and counterparties
// (c) in the book's order: read from the whole book when it may have changed, and kept in step
// with the writer's announced writes name by name instead of being read again. The lists are
// models the panel's boxes show.
class NameLists : public QObject
{
    Q_OBJECT

public:
    // Follows writer's writes; reads and checks through its connection.
    explicit NameLists(BookWriter* writer, QObject* parent = nullptr);

    QStringListModel* summaries() const { return m_summaries; }
    QStringListModel* counterparties() const { return m_counterparties; }

    // Whether the lists were read and have followed every write announced since.
    bool isRead() const { return m_read; }
    // Whether the lists hold what the book holds now (nothing written since but writes they
    // followed, or other tables'); when they do not, they count as unread from now on.
    bool confirmCurrent();
    // Reads both lists from the book through scratch, which is closed afterwards: the names
    // then live in the lists, and a big book's are not held twice.
    void read(Dataset* scratch);

private:
    // A list and whether it holds the book's missing name (null), which shows as an empty
    // item, as an empty name does, before every name.
    struct List
    {
        QString column;
        QStringListModel* model;
        bool hasNull = false;
    };

    void follow(const QList<RowChange>& changes);
    bool followOne(const RowChange& change);
    void followName(List& list, const std::optional<QVariant>& removed,
                    const std::optional<QVariant>& added);
    bool stillWritten(const QString& column, bool missing, const QString& name);

    QPointer<BookWriter> m_writer; // the data module's, which may go first
    QStringListModel* m_summaries;
    QStringListModel* m_counterparties;
    List m_lists[2];
    ChangeStamp m_stamp; // the book the lists show
    bool m_read = false;
};
