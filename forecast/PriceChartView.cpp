#include "forecast/PriceChartView.h"

#include "store/Dialogs.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"
#include "ui/ContextMenu.h"
#include "ui/UserAction.h"

#include <QAction>
#include <QBuffer>
#include <QChart>
#include <QContextMenuEvent>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QImageWriter>
#include <QMenu>
#include <QMouseEvent>
#include <QPen>
#include <QSaveFile>
#include <QValueAxis>
#include <QWheelEvent>
#include <QXYSeries>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One wheel notch shows this share of the time range.
constexpr qreal zoomPerNotch = 0.8;
constexpr qreal notch = 120.0;
// The narrowest range: a share of all bars, and never below a few minutes.
constexpr qreal narrowestShare = 1.0 / 200;
constexpr qreal narrowestMs = 5 * 60 * 1000.0;

const QColor crosshairColour(0xC8, 0xC8, 0xC8);
const QColor lastBarColour(0xFF, 0xFF, 0xFF, 0xA0);

} // namespace

PriceChartView::PriceChartView(QChart* chart, Dialogs& dialogs, QWidget* parent)
    : QChartView(chart, parent), m_dialogs(dialogs) {
    // A price file dropped here goes to the page.
    setAcceptDrops(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);

    m_saveImage = new QAction(QStringLiteral("画像として保存"), this);
    m_saveImage->setObjectName(QStringLiteral("aChtSaveImage"));
    connect(m_saveImage, &QAction::triggered, this, &PriceChartView::saveImage);
    addAction(m_saveImage);

    QPen pen(crosshairColour, 1, Qt::DashLine);
    m_across = scene()->addLine(QLineF(), pen);
    m_down = scene()->addLine(QLineF(), pen);
    m_tag = scene()->addRect(QRectF(), QPen(crosshairColour), QColor(0x20, 0x20, 0x20, 0xE0));
    m_tagText = new QGraphicsSimpleTextItem(m_tag);
    m_tagText->setBrush(Qt::white);
    for (QGraphicsItem* item :
         {static_cast<QGraphicsItem*>(m_across), static_cast<QGraphicsItem*>(m_down),
          static_cast<QGraphicsItem*>(m_tag)}) {
        item->setZValue(1000);
        item->setAcceptedMouseButtons(Qt::NoButton);
        item->setAcceptHoverEvents(false);
        item->hide();
    }
    // Under the lines, so the forecast still reads where it starts.
    m_lastBar = scene()->addLine(QLineF(), QPen(lastBarColour, 1, Qt::DashDotLine));
    m_lastBar->setZValue(0);
    m_lastBar->setAcceptedMouseButtons(Qt::NoButton);
    m_lastBar->hide();
    connect(chart, &QChart::plotAreaChanged, this, &PriceChartView::placeLastBar);
    if (QDateTimeAxis* axis = timeAxis())
        connect(axis, &QDateTimeAxis::rangeChanged, this, &PriceChartView::placeLastBar);
    // Before the first import: no 1970 dates, no price scale of nothing.
    resetZoom();
}

QDateTimeAxis* PriceChartView::timeAxis() const {
    const QList<QAbstractAxis*> axes = chart()->axes(Qt::Horizontal);
    return axes.isEmpty() ? nullptr : qobject_cast<QDateTimeAxis*>(axes.constFirst());
}

bool PriceChartView::fullRange(qreal& first, qreal& last) const {
    first = std::numeric_limits<qreal>::max();
    last = std::numeric_limits<qreal>::lowest();
    for (QAbstractSeries* s : chart()->series()) {
        if (auto* xy = qobject_cast<QXYSeries*>(s)) {
            for (const QPointF& p : xy->points()) {
                first = std::min(first, p.x());
                last = std::max(last, p.x());
            }
        }
    }
    return first <= last;
}

void PriceChartView::showTimes(qreal from, qreal to) {
    QDateTimeAxis* axis = timeAxis();
    qreal first = 0, last = 0;
    if (!axis || !fullRange(first, last) || !(from < to))
        return;
    const qreal all = last - first;
    const qreal span =
        std::clamp(to - from, std::min(all, std::max(all * narrowestShare, narrowestMs)), all);
    const qreal centre = (from + to) / 2;
    from = std::clamp(centre - span / 2, first, last - span);
    axis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(from))),
                   QDateTime::fromMSecsSinceEpoch(qint64(std::llround(from + span))));
    fitPrices(from, from + span);
}

void PriceChartView::resetZoom() {
    QDateTimeAxis* axis = timeAxis();
    qreal first = 0, last = 0;
    const bool bars = fullRange(first, last);
    for (QAbstractAxis* a : chart()->axes())
        a->setLabelsVisible(bars);
    if (!axis || !bars)
        return;
    axis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(first)),
                   QDateTime::fromMSecsSinceEpoch(qint64(last)));
    fitPrices(first, last);
}

void PriceChartView::fitPrices(qreal from, qreal to) {
    const QList<QAbstractAxis*> axes = chart()->axes(Qt::Vertical);
    auto* prices = axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.constFirst());
    if (!prices)
        return;
    qreal low = std::numeric_limits<qreal>::max(), high = std::numeric_limits<qreal>::lowest();
    for (QAbstractSeries* s : chart()->series()) {
        auto* xy = qobject_cast<QXYSeries*>(s);
        if (!xy)
            continue;
        // The points run in time order.
        const QList<QPointF> points = xy->points();
        auto it = std::lower_bound(points.begin(), points.end(), from,
                                   [](const QPointF& p, qreal x) { return p.x() < x; });
        for (; it != points.end() && it->x() <= to; ++it) {
            low = std::min(low, it->y());
            high = std::max(high, it->y());
        }
    }
    // A stretch without bars (a weekend) keeps the scale it had.
    if (low > high)
        return;
    const qreal margin = std::max<qreal>((high - low) * 0.05, 1.0);
    prices->setRange(low - margin, high + margin);
}

void PriceChartView::setLastBar(const QDateTime& end) {
    m_hasLastBar = end.isValid();
    m_lastBarTime = m_hasLastBar ? qreal(end.toMSecsSinceEpoch()) : 0;
    placeLastBar();
}

void PriceChartView::placeLastBar() {
    QDateTimeAxis* axis = timeAxis();
    if (!m_hasLastBar || !axis || m_lastBarTime < qreal(axis->min().toMSecsSinceEpoch()) ||
        m_lastBarTime > qreal(axis->max().toMSecsSinceEpoch())) {
        m_lastBar->hide();
        return;
    }
    const QRectF plot = chart()->plotArea();
    const qreal x = chart()->mapToPosition(QPointF(m_lastBarTime, 0)).x();
    m_lastBar->setLine(QLineF(chart()->mapToScene(QPointF(x, plot.top())),
                              chart()->mapToScene(QPointF(x, plot.bottom()))));
    m_lastBar->show();
}

QString PriceChartView::imageName() const {
    if (!m_hasLastBar)
        return QStringLiteral("FX予測.png");
    return QStringLiteral("FX予測_%1.png")
        .arg(QDateTime::fromMSecsSinceEpoch(qint64(m_lastBarTime))
                 .toString(QStringLiteral("yyyyMMdd_HHmm")));
}

QRectF PriceChartView::plotRect() const {
    const QRectF inScene = chart()->mapToScene(chart()->plotArea()).boundingRect();
    return mapFromScene(inScene).boundingRect();
}

void PriceChartView::wheelEvent(QWheelEvent* event) {
    QDateTimeAxis* axis = timeAxis();
    const qreal steps = event->angleDelta().y() / notch;
    if (!axis || steps == 0 || !plotRect().contains(event->position())) {
        event->ignore();
        return;
    }
    const qreal min = qreal(axis->min().toMSecsSinceEpoch());
    const qreal max = qreal(axis->max().toMSecsSinceEpoch());
    // The time under the mouse stays where it is.
    const QRectF plot = plotRect();
    const qreal at = min + (max - min) * (event->position().x() - plot.left()) / plot.width();
    const qreal factor = std::pow(zoomPerNotch, steps);
    showTimes(at - (at - min) * factor, at + (max - at) * factor);
    moveCrosshair(event->position());
    event->accept();
}

void PriceChartView::mousePressEvent(QMouseEvent* event) {
    QDateTimeAxis* axis = timeAxis();
    if (event->button() == Qt::LeftButton && axis && plotRect().contains(event->position())) {
        m_dragging = true;
        m_dragFrom = event->position();
        m_dragMin = qreal(axis->min().toMSecsSinceEpoch());
        m_dragMax = qreal(axis->max().toMSecsSinceEpoch());
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    QChartView::mousePressEvent(event);
}

void PriceChartView::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        const qreal width = plotRect().width();
        if (width > 0) {
            const qreal shift =
                (event->position().x() - m_dragFrom.x()) * (m_dragMax - m_dragMin) / width;
            showTimes(m_dragMin - shift, m_dragMax - shift);
        }
    }
    moveCrosshair(event->position());
    QChartView::mouseMoveEvent(event);
}

void PriceChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        viewport()->unsetCursor();
    }
    QChartView::mouseReleaseEvent(event);
}

void PriceChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        resetZoom();
        moveCrosshair(event->position());
    }
    QChartView::mouseDoubleClickEvent(event);
}

void PriceChartView::leaveEvent(QEvent* event) {
    hideCrosshair();
    QChartView::leaveEvent(event);
}

void PriceChartView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(m_saveImage);
    showContextMenu(menu, event->globalPos());
    event->accept();
}

void PriceChartView::moveCrosshair(const QPointF& pos) {
    qreal first = 0, last = 0;
    const QRectF plot = plotRect();
    if (!plot.contains(pos) || !fullRange(first, last)) {
        hideCrosshair();
        return;
    }
    const QPointF scenePos = mapToScene(pos.toPoint());
    const QRectF scenePlot = chart()->mapToScene(chart()->plotArea()).boundingRect();
    m_across->setLine(scenePlot.left(), scenePos.y(), scenePlot.right(), scenePos.y());
    m_down->setLine(scenePos.x(), scenePlot.top(), scenePos.x(), scenePlot.bottom());

    const QPointF value = chart()->mapToValue(chart()->mapFromScene(scenePos));
    m_tagText->setText(
        QStringLiteral("%1  %2").arg(QDateTime::fromMSecsSinceEpoch(qint64(std::llround(value.x())))
                                         .toString(QStringLiteral("yyyy/MM/dd hh:mm")),
                                     QString::number(std::llround(value.y()))));
    const QRectF textRect = m_tagText->boundingRect().adjusted(-4, -2, 4, 2);
    m_tagText->setPos(4, 2);
    m_tag->setRect(0, 0, textRect.width(), textRect.height());
    // Beside the mouse, turned back inside the plot near its edges.
    QPointF at = scenePos + QPointF(12, -textRect.height() - 8);
    if (at.x() + textRect.width() > scenePlot.right())
        at.setX(scenePos.x() - textRect.width() - 12);
    if (at.y() < scenePlot.top())
        at.setY(scenePos.y() + 12);
    m_tag->setPos(at);
    m_across->show();
    m_down->show();
    m_tag->show();
}

void PriceChartView::hideCrosshair() {
    m_across->hide();
    m_down->hide();
    m_tag->hide();
}

QString PriceChartView::crosshairText() const {
    return m_tag->isVisible() ? m_tagText->text() : QString();
}

void PriceChartView::saveImage() {
    QString path = m_dialogs.saveFile(imageName(), QStringLiteral("PNG 画像 (*.png)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    runAction(m_dialogs, [&] {
        // The rule of every output: never the database or its journals, never a device, pipe
        // or folder; and the old file stays whole until the new one is.
        TextFile::refuseOutputTarget(path, m_databaseFile ? m_databaseFile() : QString());
        // The chart as shown, without the crosshair of the mouse that opened the menu.
        const bool crosshair = m_tag->isVisible();
        hideCrosshair();
        const QImage image = grab().toImage();
        if (crosshair) {
            m_across->show();
            m_down->show();
            m_tag->show();
        }
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImageWriter writer(&png, "png");
        if (!writer.write(image))
            throw TorvaneError(
                QStringLiteral("画像 %1 を保存できません: %2").arg(path, writer.errorString()));
        QSaveFile file(path);
        TextFile::openForWriting(file);
        TextFile::write(file, png.data());
        TextFile::commit(file);
    });
}

void PriceChartView::setDatabaseFile(std::function<QString()> file) {
    m_databaseFile = std::move(file);
}
