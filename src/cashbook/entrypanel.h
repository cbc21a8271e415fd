#pragma once

#include <QDate>
#include <QFrame>

class QComboBox;

// The floating panel in which one record is typed, added, changed and deleted.
class EntryPanel : public QFrame
{
    Q_OBJECT

public:
    explicit EntryPanel(QWidget* parent = nullptr);

    void setDate(const QDate& date);

    QComboBox* ComboBox3 = nullptr; // item summary
    QComboBox* ComboBox2 = nullptr; // counterparty
};
