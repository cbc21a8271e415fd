#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Gives a chosen user a new password.
class Tchangepassfm : public QWidget
{
    Q_OBJECT

public:
    explicit Tchangepassfm(QWidget* owner = nullptr);

    void bitbtn4Click(); // 更改密码

    QComboBox* ComboBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;  // old
    QLineEdit* Edit14 = nullptr; // new
    QLineEdit* Edit15 = nullptr; // repeated
    QPushButton* bitbtn4 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* Label28 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};
