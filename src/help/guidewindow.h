#pragma once

#include <QWidget>

class FindBar;
class QImage;
class QSplitter;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

// "使用说明": the user guide, a Markdown file with its pictures, rendered by Qt, with its
// sections listed beside it and a find bar (Ctrl+F). Opened by F1 from the main window.
class GuideWindow : public QWidget
{
    Q_OBJECT

public:
    explicit GuideWindow(QWidget* owner = nullptr);

    // Shows the guide at path; throws QuenvaleError when it cannot be read.
    void open(const QString& path);
    // Scrolls to the section with this heading; false when there is none.
    bool showSection(const QString& heading);
    // The headings in order, as rendered.
    QStringList headings() const;
    // A picture the guide shows, by the name it gives; null when it cannot be read.
    QImage picture(const QString& name) const;

    QSplitter* splitter = nullptr;
    QTreeWidget* contentsTree = nullptr; // the sections
    QTextBrowser* guideText = nullptr;   // the guide
    FindBar* findBar = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillContents();
    void fitPictures();
    void scrollToBlock(int position);

    int m_fittedWidth = -1;
};
