#pragma once

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QPrinter;
class QPushButton;
class QRadioButton;
class TPrintDBGridEh;

// "打印设置": edits the print settings for the following runs. Named after the Windows
// program's page-setup dialog.
class TPrintSetupDialog : public QDialog
{
    Q_OBJECT

public:
    TPrintSetupDialog(TPrintDBGridEh* settings, QPrinter* printer, QWidget* parent = nullptr);

    QPushButton* FontButton = nullptr;
    QDoubleSpinBox* TopMargin = nullptr;
    QDoubleSpinBox* BottomMargin = nullptr;
    QDoubleSpinBox* LeftMargin = nullptr;
    QDoubleSpinBox* RightMargin = nullptr;
    QCheckBox* RowStretchBox = nullptr;
    QCheckBox* ColouredBox = nullptr;
    QCheckBox* FitWidthBox = nullptr;
    QRadioButton* ScaleGridButton = nullptr;
    QRadioButton* ChangeWidthsButton = nullptr;
    QCheckBox* AutoWidthsBox = nullptr;
    QPushButton* PrinterButton = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    QString fontName() const { return m_fontName; }
    void setFontName(const QString& name);

    void accept() override;

private:
    void chooseFont();
    void setUpPrinter();

    TPrintDBGridEh* m_settings;
    QPrinter* m_printer;
    QString m_fontName;
};
