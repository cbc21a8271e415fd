#include "cashbook/entrypanel.h"

#include <QComboBox>

EntryPanel::EntryPanel(QWidget* parent) : QFrame(parent)
{
    setGeometry(272, 208, 401, 217);
    ComboBox3 = new QComboBox(this);
    ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
    ComboBox3->setEditable(true);
    ComboBox3->setGeometry(90, 47, 193, 22);
    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setEditable(true);
    ComboBox2->setGeometry(90, 79, 193, 22);
}

void EntryPanel::setDate(const QDate&) {}
