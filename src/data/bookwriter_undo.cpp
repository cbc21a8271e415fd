// 撤销上一步: the newest batch of this run taken back through the writer, so that the conflict
// check, the closed months and the history hold for it as for every other write.
#include "data/bookwriter.h"
#include "data/errors.h"

namespace {

const QString kUndo = QStringLiteral("撤销");
// Enough for a day's work; the oldest steps are forgotten first.
constexpr qsizetype kMostSteps = 200;

// The tables whose rows an undo can put back as they were: the records, their settlements and
// the imports of bills. A closing is taken back by 反结账, a user by user management.
bool reversible(const QString& table)
{
    static const QStringList tables = {QStringLiteral("data"), QStringLiteral("settlements"),
                                       QStringLiteral("imports")};
    return tables.contains(table, Qt::CaseInsensitive);
}

// The row after a change: every column as it was, those set as written.
RowValues rowAfter(const RowChange& change)
{
    RowValues row = change.before;
    for (auto& [column, value] : row)
        value = change.valueAfter(column);
    return row;
}

// The old values of the columns the change set.
RowValues oldValues(const RowChange& change)
{
    RowValues values;
    for (const auto& [column, value] : change.after) {
        Q_UNUSED(value)
        for (const auto& [name, old] : change.before)
            if (name.compare(column, Qt::CaseInsensitive) == 0)
                values.append({name, old});
    }
    return values;
}

// A batch without a name of its own is named as the history names it: by its first row's kind.
QString stepName(const QString& action, const QList<RowChange>& changes)
{
    if (!action.isEmpty() || changes.isEmpty())
        return action;
    switch (changes.first().kind) {
    case RowChange::Kind::Added:
        return QStringLiteral("新增");
    case RowChange::Kind::Changed:
        return QStringLiteral("修改");
    case RowChange::Kind::Removed:
        return QStringLiteral("删除");
    case RowChange::Kind::Rows:
        break;
    }
    return QStringLiteral("写入");
}

} // namespace

void BookWriter::remember(const QString& action, const QList<RowChange>& changes)
{
    if (action == kUndo)
        return;
    m_steps.append({action, changes});
    if (m_steps.size() > kMostSteps)
        m_steps.removeFirst();
}

QString BookWriter::undoLast()
{
    if (m_steps.isEmpty())
        throw QuenvaleError(QStringLiteral("没有可以撤销的操作。"));
    const Step step = m_steps.takeLast();
    const QString name = stepName(step.action, step.changes);
    for (const RowChange& c : step.changes)
        if (c.kind == RowChange::Kind::Rows || !reversible(c.table))
            throw QuenvaleError(QStringLiteral("上一步“%1”不能撤销。").arg(name));
    Batch batch(*this, kUndo);
    try {
        for (auto c = step.changes.crbegin(); c != step.changes.crend(); ++c) {
            switch (c->kind) {
            case RowChange::Kind::Added:
                batch.remove(c->table, c->key, c->after);
                break;
            case RowChange::Kind::Changed:
                batch.modify(c->table, c->key, rowAfter(*c), oldValues(*c));
                break;
            case RowChange::Kind::Removed:
                batch.restore(c->table, c->key, c->before);
                break;
            case RowChange::Kind::Rows:
                break;
            }
        }
        batch.commit();
    } catch (const QuenvaleError& e) {
        // Said with what the writer found; this step cannot come back any more.
        const QString why = QStringLiteral("不能撤销上一步“%1”：").arg(name) + e.message();
        if (dynamic_cast<const ConflictError*>(&e))
            throw ConflictError(why);
        if (dynamic_cast<const MissingRowError*>(&e))
            throw MissingRowError(why);
        throw QuenvaleError(why);
    }
    return name;
}
