#pragma once

#include <QChartView>
#include <QDateTime>

#include <functional>

class Dialogs;
class QAction;
class QDateTimeAxis;
class QGraphicsLineItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;

// Page 1's chart with its tools: the wheel zooms along time around the mouse, a drag pans
// along time, a double-click shows every bar again, and each fits the price axis to the bars in
// view; a crosshair names the time and price under the mouse, a vertical line marks the last
// real bar before the forecast, and the context menu saves the chart as a PNG image. Without
// any bar the axes show no labels.
class PriceChartView : public QChartView {
    Q_OBJECT
public:
    PriceChartView(QChart* chart, Dialogs& dialogs, QWidget* parent = nullptr);

    // "画像として保存": asks where, then writes the chart as it is shown.
    QAction* saveImageAction() const { return m_saveImage; }
    // The crosshair's text while it is shown, empty otherwise.
    QString crosshairText() const;
    // Every bar of the series: the range the chart was drawn with, prices fitted to it.
    void resetZoom();
    // Marks the end of the last real bar; an invalid time removes the mark.
    void setLastBar(const QDateTime& end);
    QGraphicsLineItem* lastBarMarker() const { return m_lastBar; }
    // The name "画像として保存" offers: the last bar's date and time, when there is one.
    QString imageName() const;
    void saveImage();
    // Where the database file is, so that no image is ever written over it.
    void setDatabaseFile(std::function<QString()> file);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QDateTimeAxis* timeAxis() const;
    // The times of the first and last point over all series; false without points.
    bool fullRange(qreal& first, qreal& last) const;
    // Shows [from, to] on the time axis, kept within the bars and no narrower than a few bars.
    void showTimes(qreal from, qreal to);
    // The price axis spans the points of every series between the two times, with a margin.
    void fitPrices(qreal from, qreal to);
    void placeLastBar();
    // The chart's plot area in view coordinates.
    QRectF plotRect() const;
    void moveCrosshair(const QPointF& pos);
    void hideCrosshair();

    Dialogs& m_dialogs;
    std::function<QString()> m_databaseFile;
    QAction* m_saveImage;
    QGraphicsLineItem* m_across;
    QGraphicsLineItem* m_down;
    QGraphicsRectItem* m_tag;
    QGraphicsSimpleTextItem* m_tagText;
    QGraphicsLineItem* m_lastBar;
    qreal m_lastBarTime = 0;
    bool m_hasLastBar = false;
    bool m_dragging = false;
    QPointF m_dragFrom;
    qreal m_dragMin = 0;
    qreal m_dragMax = 0;
};
