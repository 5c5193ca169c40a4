#pragma once

#include "ui/PageFrame.h"

#include <QImage>

class QLabel;

// Shows a bitmap scaled to the largest size that fits while keeping its proportions, enlarged
// as well as reduced, at the top-left corner.
class DiagramView : public QWidget {
    Q_OBJECT
public:
    explicit DiagramView(QWidget* parent = nullptr) : QWidget(parent) {}

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // Where the bitmap is drawn; empty when there is none.
    QRect imageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// Page 3: the trained network as a diagram and its mean squared error.
class NetworkPage : public PageFrame {
    Q_OBJECT
public:
    explicit NetworkPage(QWidget* parent = nullptr);

    // The diagram of the latest training and its error text.
    void showNetwork(const QImage& diagram, const QString& mseText);
    DiagramView* image() const { return m_image; }

private:
    QLabel* m_mse;
    DiagramView* m_image;
};
