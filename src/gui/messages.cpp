#include "gui/messages.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

// Qt sizes a box by its text alone: a short text cuts the caption ("Que...ale") and a long
// one wraps inside a word. The text keeps its lines up to a sensible width, and the box is
// never narrower than its caption.
int showFitted(QMessageBox& box)
{
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        const QFontMetrics text(label->font());
        int widest = 0;
        for (const QString& line : box.text().split(u'\n'))
            widest = std::max(widest, text.horizontalAdvance(line));
        const QFontMetrics caption(QApplication::font("QMdiSubWindowTitleBar"));
        const int forCaption = caption.horizontalAdvance(box.windowTitle()) + 120;
        int limit = 560;
        if (const QScreen* screen = box.screen())
            limit = std::min(limit, screen->availableGeometry().width() * 2 / 3);
        label->setMinimumWidth(std::min(std::max(widest + 4, forCaption), limit));
    }
    return box.exec();
}

class BoxMessageService final : public MessageService
{
public:
    void warning(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok,
                        parent);
        showFitted(box);
    }
    void information(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
        showFitted(box);
    }
    void critical(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, parent);
        showFitted(box);
    }
    bool question(QWidget* parent, const QString& text, const QString& title) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                        parent);
        box.setDefaultButton(QMessageBox::Cancel);
        return showFitted(box) == QMessageBox::Ok;
    }
    bool yesNo(QWidget* parent, const QString& title, const QString& text,
               bool noIsDefault) override
    {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.setDefaultButton(noIsDefault ? QMessageBox::No : QMessageBox::Yes);
        return showFitted(box) == QMessageBox::Yes;
    }
    QString saveFileName(QWidget* parent, const QString& filter,
                         const QString& defaultSuffix) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(filter);
        dialog.setDefaultSuffix(defaultSuffix);
        // The caller asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
    QString openFileName(QWidget* parent) override { return QFileDialog::getOpenFileName(parent); }
    QString openFile(QWidget* parent, const QString& filter) override
    {
        return QFileDialog::getOpenFileName(parent, {}, {}, filter);
    }
};

BoxMessageService& boxes()
{
    static BoxMessageService service;
    return service;
}

MessageService* current = nullptr;

} // namespace

QString MessageService::openFile(QWidget* parent, const QString& filter)
{
    Q_UNUSED(filter)
    return openFileName(parent);
}

int MessageService::choice(QWidget* parent, const QString& title, const QString& text,
                           const QStringList& buttons)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QAbstractButton*> pressable;
    for (const QString& caption : buttons)
        pressable.append(box.addButton(caption, QMessageBox::AcceptRole));
    if (!pressable.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(pressable.constFirst()));
        // Escape and the window's close button take the last one.
        box.setEscapeButton(pressable.constLast());
    }
    showFitted(box);
    return pressable.indexOf(box.clickedButton());
}

MessageService& messages()
{
    return current ? *current : boxes();
}

void setMessageService(MessageService* service)
{
    current = service;
}

QString applicationTitle()
{
    const QString name = QApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Quenvale") : name;
}

QString homePageAddress()
{
    return QStringLiteral("https://quenvale.example.com/");
}
