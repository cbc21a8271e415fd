#include "gui/formfields.h"

#include "data/mylib.h"
#include "gui/messages.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>

bool RequireEditText(QLineEdit* field, const QString& message)
{
    if (!field->text().trimmed().isEmpty())
        return true;
    messages().warning(field->window(), message);
    field->setFocus(Qt::OtherFocusReason);
    return false;
}

bool RequireComboText(QComboBox* combo, const QString& message)
{
    if (!combo->currentText().trimmed().isEmpty())
        return true;
    messages().warning(combo->window(), message);
    combo->setFocus(Qt::OtherFocusReason);
    return false;
}

void FillComboFromColumn(Dataset* query, const QString& column, const QString& table,
                         QComboBox* combo)
{
    combo->clear();
    combo->setEditText(QString());
    OpenColumnValues(query, column, table);
    QStringList items;
    const int count = query->recordCount();
    items.reserve(count);
    query->first();
    for (int i = 0; i < count; ++i) {
        items << query->text(column);
        query->next();
    }
    // One model swap instead of an item at a time: a big book has thousands of names.
    auto* model = qobject_cast<QStringListModel*>(combo->model());
    if (!model) {
        model = new QStringListModel(combo);
        combo->setModel(model);
    }
    model->setStringList(items);
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
}

QPushButton* namedButton(QWidget* parent, const QString& caption, const char* name)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
