#pragma once

// What the printing tests share: a fresh book with records in the main window, its print
// settings and preview, and the text a PDF page reads as.
#include "app/mainform.h"
#include "cashbook/printpreview.h"
#include "cashbook/printsettings.h"
#include "cashbook/reportlayout.h"
#include "support/testsupport.h"

#include <QPrintPreviewWidget>
#include <QProcess>

#include <memory>

namespace printingtest {

using namespace report;

inline const QSizeF kA4(210 / 25.4 * kUnitsPerInch, 297 / 25.4 * kUnitsPerInch);

// What a reader of the paper sees on one page, without blanks (the PDF's word spacing is not
// the program's) and with the CJK radicals pdftotext gives folded back.
inline QString pdfPageText(const QString& pdf, int page)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
             QString::number(page), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("pdftotext failed on %s", qPrintable(pdf));
    QString text =
        QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text;
}

inline QString squeezed(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

class Fixture : public QObject
{
protected:
    std::unique_ptr<testsupport::BookFolder> m_book;

    void addRecords(int count, const QString& summary = QStringLiteral("办公用品"))
    {
        for (int i = 0; i < count; ++i) {
            const bool income = i % 3 != 2;
            testsupport::insertRecord(
                m_book->bookPath(), income ? QStringLiteral("收入") : QStringLiteral("支出"),
                QStringLiteral("2024-03-%1").arg(1 + i % 28, 2, 10, QChar(u'0')),
                summary + QString::number(i + 1), QStringLiteral("华兴商行"), income ? 100 + i : 0,
                income ? 60 : 0, income ? 0 : 50.5, income ? 0 : 20);
        }
        MainForm->Button12Click();
    }

    TPreviewForm* openPreview()
    {
        MainForm->ToolButton22Click();
        const auto previews = MainForm->findChildren<TPreviewForm*>();
        if (previews.isEmpty())
            return nullptr;
        TPreviewForm* preview = previews.last();
        preview->previewWidget()->updatePreview();
        return preview;
    }

    TPrintDBGridEh* settings() { return printSettings(MainForm); }

    Layout layoutOf() { return paginate(settings()->content(), settings()->options, kA4); }
};

} // namespace printingtest
