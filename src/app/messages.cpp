#include "app/messages.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace {

class BoxMessageService final : public MessageService
{
public:
    void warning(QWidget* parent, const QString& text) override
    {
        QMessageBox::warning(parent, QStringLiteral("Warning"), text);
    }
    void information(QWidget* parent, const QString& text) override
    {
        QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, parent);
        box.exec();
    }
    void critical(QWidget* parent, const QString& text) override
    {
        QMessageBox::critical(parent, applicationTitle(), text);
    }
    bool question(QWidget* parent, const QString& text, const QString& title) override
    {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                        parent);
        box.setDefaultButton(QMessageBox::Cancel);
        return box.exec() == QMessageBox::Ok;
    }
    bool yesNo(QWidget* parent, const QString& title, const QString& text,
               bool noIsDefault) override
    {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                        parent);
        box.setDefaultButton(noIsDefault ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
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
};

BoxMessageService& boxes()
{
    static BoxMessageService service;
    return service;
}

MessageService* current = nullptr;

} // namespace

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
    box.exec();
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
