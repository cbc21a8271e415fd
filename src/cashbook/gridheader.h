#pragma once

#include <QHeaderView>

// Column titles in two levels: neighbouring columns with the same upper title share one
// upper cell; only the lower cells act as buttons and carry the sort markers.
class TwoLevelHeader : public QHeaderView
{
    Q_OBJECT

public:
    enum class Marker { None, Down, Up };

    explicit TwoLevelHeader(QWidget* parent = nullptr);

    void setTitles(const QStringList& titles); // "upper|lower" per column
    Marker marker(int column) const;
    void setMarker(int column, Marker marker);
    void clearMarkers();

    QSize sizeHint() const override;

signals:
    void lowerTitleClicked(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    QString upper(int column) const;
    QString lower(int column) const;
    int levelHeight() const;

    QStringList m_titles;
    QVector<Marker> m_markers;
    int m_pressed = -1;
};
