#pragma once

#include <QChartView>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QStringList>

// The texts a chart shows (title, axis labels and titles, legend), as the scene draws them, and
// those among them that Qt Charts cut short with an ellipsis for want of room.
struct ChartTexts {
    QStringList shown;
    QStringList cut;

    explicit ChartTexts(const QChartView* view) {
        for (QGraphicsItem* item : view->scene()->items()) {
            QString text;
            if (auto* t = dynamic_cast<QGraphicsTextItem*>(item))
                text = t->toPlainText();
            else if (auto* t = dynamic_cast<QGraphicsSimpleTextItem*>(item))
                text = t->text();
            if (!item->isVisible() || text.isEmpty())
                continue;
            shown << text;
            if (text.contains(QStringLiteral("…")) || text.contains(QStringLiteral("...")))
                cut << text;
        }
    }
};
