#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class BinModel;
class QLabel;
class QPushButton;
class QTableView;
class RecordRestorer;
namespace history {
struct Entry;
}

// "回收站": the deleted records, when and by whom each was deleted, with every value. 恢复记录
// puts the chosen one back (through the restorer given); 彻底删除, the administrator's alone,
// takes it out of the bin for good, the history keeping that it happened.
class RecycleBinWindow : public QWidget
{
    Q_OBJECT

public:
    explicit RecycleBinWindow(QWidget* owner = nullptr);
    ~RecycleBinWindow() override;

    void setRestorer(std::unique_ptr<RecordRestorer> restorer);
    // Run after a record came back into the book: the main window lists it.
    std::function<void()> recordsChanged;

    void refresh();
    void restoreClick(); // 恢复记录
    void purgeClick();   // 彻底删除

    const BinModel* model() const { return m_model; }

    QLabel* hintLabel = nullptr;
    QTableView* view = nullptr;
    QLabel* countLabel = nullptr;
    QPushButton* restoreButton = nullptr;
    QPushButton* purgeButton = nullptr;
    QPushButton* closeButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The record chosen in the list; says so when there is none.
    std::optional<history::Entry> chosen(const QString& missing);
    // Runs a change of the bin; another user's change since it was read is said, and the bin
    // read again. False when it was refused.
    bool unlessChangedMeanwhile(const std::function<void()>& change);

    BinModel* m_model = nullptr;
    std::unique_ptr<RecordRestorer> m_restorer;
    QString m_operator;
    bool m_shown = false;
};
