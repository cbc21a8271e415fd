#include "export/progresswindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

ExportProgressWindow::ExportProgressWindow(int recordCount)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("exportProgress"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(300, 100);
    setFont(QFont(QStringLiteral("宋体"), 9));
    // Black behind a panel one pixel smaller: a thin black frame.
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("panel"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    QPalette face = panel->palette();
    face.setColor(QPalette::Window, QGuiApplication::palette().color(QPalette::Button));
    face.setColor(QPalette::WindowText, QGuiApplication::palette().color(QPalette::WindowText));
    panel->setPalette(face);
    panel->setGeometry(1, 1, 298, 98);

    auto* label = new QLabel(QStringLiteral("正在导出数据，请稍候......"), panel);
    label->setObjectName(QStringLiteral("message"));
    QFont bold = font();
    bold.setBold(true);
    label->setFont(bold);
    label->move(24, 24); // 25, 25 in the window
    label->adjustSize();

    m_bar = new QProgressBar(panel);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setGeometry(19, 49, 260, 13);
    m_bar->setRange(0, recordCount);
    m_bar->setValue(0);
    m_bar->setTextVisible(true);
    m_bar->setAlignment(Qt::AlignCenter);
    m_bar->setStyleSheet(
        QStringLiteral("QProgressBar { background: white; border: 1px solid gray; color: black; }"
                       "QProgressBar::chunk { background: blue; }"));

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void ExportProgressWindow::setPosition(int position)
{
    const bool due =
        !m_sincePaint.isValid() || m_sincePaint.elapsed() >= 50 || position >= m_bar->maximum();
    if (!due)
        return;
    m_bar->setValue(position);
    m_bar->repaint();
    m_sincePaint.start();
}
