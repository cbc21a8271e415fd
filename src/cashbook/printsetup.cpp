#include "cashbook/printsetup.h"

#include "cashbook/printsettings.h"

#include "gui/messages.h"
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TPrintSetupDialog::TPrintSetupDialog(TPrintDBGridEh* settings, QPrinter* printer, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_printer(printer)
{
    setObjectName(QStringLiteral("PrintSetupDialog"));
    setWindowTitle(QStringLiteral("打印设置"));
    const report::Options& o = settings->options;

    auto* layout = new QVBoxLayout(this);
    FontButton = named(new QPushButton(QStringLiteral("字体(&N)"), this), "FontButton");
    auto* fontLabel = named(new QLabel(this), "FontLabel");
    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(FontButton);
    fontRow->addWidget(fontLabel, 1);
    layout->addLayout(fontRow);
    connect(FontButton, &QPushButton::clicked, this, &TPrintSetupDialog::chooseFont);

    auto* margins = named(new QGroupBox(QStringLiteral("页边距(&M) "), this), "MarginsBox");
    auto* form = new QFormLayout(margins);
    auto spin = [margins](const char* name, double value) {
        auto* box = named(new QDoubleSpinBox(margins), name);
        box->setRange(0, 20);
        box->setDecimals(1);
        box->setSingleStep(0.1);
        box->setValue(value);
        return box;
    };
    TopMargin = spin("TopMargin", o.margins.top());
    BottomMargin = spin("BottomMargin", o.margins.bottom());
    LeftMargin = spin("LeftMargin", o.margins.left());
    RightMargin = spin("RightMargin", o.margins.right());
    auto row = [form](const QString& caption, QDoubleSpinBox* box) {
        auto* label = new QLabel(caption);
        label->setBuddy(box);
        form->addRow(label, box);
    };
    row(QStringLiteral("上(&T)"), TopMargin);
    row(QStringLiteral("下(&B)"), BottomMargin);
    row(QStringLiteral("左(&L)"), LeftMargin);
    row(QStringLiteral("右(&R)"), RightMargin);
    layout->addWidget(margins);

    RowStretchBox = named(new QCheckBox(QStringLiteral("延长表格线(&S)"), this), "RowStretchBox");
    RowStretchBox->setChecked(o.rowAutoStretch);
    ColouredBox = named(new QCheckBox(QStringLiteral("彩色(&C)"), this), "ColouredBox");
    ColouredBox->setChecked(o.coloured);
    FitWidthBox =
        named(new QCheckBox(QStringLiteral("表格宽度适应页面宽度(&F)"), this), "FitWidthBox");
    FitWidthBox->setChecked(o.fitToPageWidth);
    ScaleGridButton =
        named(new QRadioButton(QStringLiteral("缩放整个表格(&G)"), this), "ScaleGridButton");
    ChangeWidthsButton =
        named(new QRadioButton(QStringLiteral("改变列宽(&C)"), this), "ChangeWidthsButton");
    ScaleGridButton->setChecked(o.fitMode == report::FitMode::ScaleWholeGrid);
    ChangeWidthsButton->setChecked(o.fitMode == report::FitMode::ChangeColumnWidths);
    AutoWidthsBox =
        named(new QCheckBox(QStringLiteral("自动调整列宽到合适尺寸(&W)"), this), "AutoWidthsBox");
    AutoWidthsBox->setChecked(o.autoFitColumns);
    layout->addWidget(RowStretchBox);
    layout->addWidget(ColouredBox);
    layout->addWidget(FitWidthBox);
    auto* ways = new QVBoxLayout;
    ways->setContentsMargins(20, 0, 0, 0);
    ways->addWidget(ScaleGridButton);
    ways->addWidget(ChangeWidthsButton);
    layout->addLayout(ways);
    layout->addWidget(AutoWidthsBox);
    auto enableWays = [this](bool on) {
        ScaleGridButton->setEnabled(on);
        ChangeWidthsButton->setEnabled(on);
    };
    connect(FitWidthBox, &QCheckBox::toggled, this, enableWays);
    enableWays(o.fitToPageWidth);

    PrinterButton = named(new QPushButton(QStringLiteral("打印机设置(&P)"), this), "PrinterButton");
    connect(PrinterButton, &QPushButton::clicked, this, &TPrintSetupDialog::setUpPrinter);
    OkButton = named(new QPushButton(QStringLiteral("确定(&O)"), this), "OkButton");
    OkButton->setDefault(true);
    CancelButton = named(new QPushButton(QStringLiteral("取消(&C)"), this), "CancelButton");
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PrinterButton);
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons);

    m_fontName = o.fontName;
    fontLabel->setText(m_fontName);
    connect(FontButton, &QPushButton::clicked, fontLabel,
            [this, fontLabel] { fontLabel->setText(m_fontName); });
}

void TPrintSetupDialog::setFontName(const QString& name)
{
    m_fontName = name;
}

void TPrintSetupDialog::chooseFont()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, QFont(m_fontName), this, QStringLiteral("字体"));
    if (ok)
        m_fontName = font.family();
}

void TPrintSetupDialog::setUpPrinter()
{
    // The printer, its paper and orientation; the report follows them on the next run.
    QPrintDialog dialog(m_printer, this);
    dialog.setWindowTitle(QStringLiteral("打印机设置"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.exec();
}

void TPrintSetupDialog::accept()
{
    // The margins must leave room for the report on the printer's paper.
    const QSizeF paper = m_printer->pageLayout().fullRectPoints().size() * (2.54 / 72.0);
    if (LeftMargin->value() + RightMargin->value() >= paper.width() - 1 ||
        TopMargin->value() + BottomMargin->value() >= paper.height() - 3) {
        messages().warning(this, QStringLiteral("页边距太大，纸上放不下报表"));
        LeftMargin->setFocus();
        return;
    }
    report::Options& o = m_settings->options;
    o.fontName = m_fontName;
    o.margins = QMarginsF(LeftMargin->value(), TopMargin->value(), RightMargin->value(),
                          BottomMargin->value());
    o.rowAutoStretch = RowStretchBox->isChecked();
    o.coloured = ColouredBox->isChecked();
    o.fitToPageWidth = FitWidthBox->isChecked();
    o.fitMode = ChangeWidthsButton->isChecked() ? report::FitMode::ChangeColumnWidths
                                                : report::FitMode::ScaleWholeGrid;
    o.autoFitColumns = AutoWidthsBox->isChecked();
    QDialog::accept();
}
