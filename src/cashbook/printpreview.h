#pragma once

#include "cashbook/reportlayout.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPrinter;
class ReportPreview;
class QToolButton;
class TPrintDBGridEh;

// The preview "预览": the report's pages with the commands to print, set up, zoom and page.
// Not modal; it lives until the operator closes it. Named after the Windows program's preview form.
class TPreviewForm : public QMainWindow
{
    Q_OBJECT

public:
    TPreviewForm(TPrintDBGridEh* settings, report::Content content, QWidget* parent = nullptr);
    ~TPreviewForm() override;

    QPrinter* printer() const { return m_printer; }
    ReportPreview* previewWidget() const { return m_preview; }
    int pageCount() const;
    int currentPage() const;
    QString statusText() const;
    QStringList zoomChoices() const;
    QString zoomChoice() const;

    // The toolbar's commands.
    void printReport();
    void pageSetup();
    void setZoomChoice(const QString& choice);
    void previousPage();
    void nextPage();
    void stop();

    QAction* PrintAction = nullptr;
    QAction* SetupAction = nullptr;
    QToolButton* ZoomButton = nullptr;
    QAction* PriorAction = nullptr;
    QAction* NextAction = nullptr;
    QAction* StopAction = nullptr;
    QAction* CloseAction = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void produce(QPrinter* printer);
    void updateStatus();
    void setProducing(bool producing);

    QPointer<TPrintDBGridEh> m_settings;
    report::Content m_content;
    QPrinter* m_printer = nullptr;
    ReportPreview* m_preview = nullptr;
    QMenu* m_zoomMenu = nullptr;
    QActionGroup* m_zoomGroup = nullptr;
    QLabel* m_status = nullptr;
    bool m_producing = false;
    bool m_stopRequested = false;
};
