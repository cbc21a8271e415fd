#pragma once

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

// "数据库备份": backs data.mdb up to a file and restores a backup into it, both through SQLite
// so that other running copies may go on using the book. This copy's own connection stays
// closed while the window is open.
class Tbeifen : public QWidget
{
    Q_OBJECT

public:
    explicit Tbeifen(QWidget* owner = nullptr);

    // Run once the book is open again as the window closes: the main window lists it anew.
    std::function<void()> bookReopened;

    // Handlers, public so that tests and other windows can drive them.
    void FormShow();
    void FormClose();
    void BitBtn1Click(); // back up
    void BitBtn5Click(); // restore
    void Button1Click(); // choose the backup file
    void Edit1Change();

    QScrollArea* scrollArea = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* headerLabel = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* Panel4 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QLabel* Label3 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPanels();
    // Asks before replacing an existing target; true when there is none or the operator agrees.
    bool confirmReplace(const QString& source, const QString& target);

    bool m_shown = false;
};
