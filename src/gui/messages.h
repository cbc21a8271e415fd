#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every box and file dialog the program shows goes through this service, so tests can
// script the answers and read what was said.
class MessageService
{
public:
    virtual ~MessageService() = default;

    // A missing input: caption "Warning", warning icon, OK.
    virtual void warning(QWidget* parent, const QString& text) = 0;
    // Success and failure reports: caption "Quenvale", OK.
    virtual void information(QWidget* parent, const QString& text) = 0;
    // An error stopped a command: caption "Quenvale", stop icon, OK.
    virtual void critical(QWidget* parent, const QString& text) = 0;
    // A warning question with OK and Cancel, Cancel preselected; true for OK.
    virtual bool question(QWidget* parent, const QString& text,
                          const QString& title = QStringLiteral("警告！")) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool yesNo(QWidget* parent, const QString& title, const QString& text,
                       bool noIsDefault = true) = 0;
    // Empty text when the operator cancels.
    virtual QString saveFileName(QWidget* parent, const QString& filter,
                                 const QString& defaultSuffix) = 0;
    virtual QString openFileName(QWidget* parent) = 0;
    // The same, offering only the files filter names ("账单文件 (*.csv *.zip)"). A service without
    // a dialog of its own answers it as openFileName.
    virtual QString openFile(QWidget* parent, const QString& filter);
    // A choice among buttons, the first preselected, the last taken on Escape; the index of the
    // one pressed. Shows a box unless a service answers it.
    virtual int choice(QWidget* parent, const QString& title, const QString& text,
                       const QStringList& buttons);
};

MessageService& messages();
// Replaces the service (tests); nullptr restores the boxes.
void setMessageService(MessageService* service);

// The application's title: caption of plain boxes and error boxes.
QString applicationTitle();

// The maker's home page, opened by "技术支持" and shown in the status bar.
QString homePageAddress();
