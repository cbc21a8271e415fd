#pragma once

#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTreeWidget;

// "数据库备份": backs data.mdb up to a file and restores a backup into it, both through SQLite
// so that other running copies may go on using the book. This copy's own connection stays
// closed while the window is open.
// Tbeifen ("beifen" is 备份, backup; name from the Windows program): the backup window.
class Tbeifen : public QWidget
{
    Q_OBJECT

public:
    explicit Tbeifen(QWidget* owner = nullptr);

    // Run once the book is open again as the window closes: the main window lists it anew.
    std::function<void()> bookReopened;

    // Handlers, public so that tests and other windows can drive them.
    void FormShow();     // closes this copy's connection, shows the saved target
    void FormClose();    // reconnects and reloads the listing
    void BitBtn1Click(); // back up
    void BitBtn5Click(); // restore
    void Button1Click(); // choose the backup file
    void Edit1Change();  // keeps the typed target as the setting save
    // The automatic backups: listed as the window opens; the chosen one is restored as BitBtn5.
    void fillAutoBackups();
    void restoreAutoBackupClick();

    QScrollArea* scrollArea = nullptr;
    QFrame* Panel1 = nullptr; // header band with headerLabel
    QLabel* headerLabel = nullptr;
    QFrame* Panel2 = nullptr;                 // backup band
    QLabel* Label1 = nullptr;                 // 备份数据的目录:
    QLineEdit* Edit1 = nullptr;               // backup target, remembered as the setting save
    QPushButton* BitBtn1 = nullptr;           // 备份数据库
    QLabel* Label2 = nullptr;                 // red hint 温馨提示：定期备份数据…
    QFrame* Panel4 = nullptr;                 // restore band
    QLineEdit* Edit2 = nullptr;               // the backup to restore (default beifen.mdb)
    QPushButton* Button1 = nullptr;           // 打开备份文件: chooses Edit2
    QPushButton* BitBtn5 = nullptr;           // 恢复数据库
    QLabel* Label3 = nullptr;                 // red warning about restoring
    QFrame* Panel5 = nullptr;                 // automatic backups band
    QTreeWidget* autoBackupList = nullptr;    // 备份时间, 大小, 记录数; newest first
    QPushButton* restoreAutoBackup = nullptr; // 恢复所选的自动备份

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildPanels();
    // Asks before replacing an existing target; true when there is none or the operator agrees.
    bool confirmReplace(const QString& source, const QString& target);

    bool m_shown = false;
};
