#include "forecast/NetworkPage.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

void DiagramView::setImage(const QImage& image) {
    m_image = image;
    update();
}

QRect DiagramView::imageRect() const {
    if (m_image.isNull())
        return {};
    return QRect(QPoint(0, 0), m_image.size().scaled(size(), Qt::KeepAspectRatio));
}

void DiagramView::paintEvent(QPaintEvent*) {
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(imageRect(), m_image);
}

NetworkPage::NetworkPage(QWidget* parent)
    : PageFrame(QStringLiteral("c01ttL"), QStringLiteral("3 機械学習"), 40, 40, parent) {
    header()->setObjectName(QStringLiteral("c0P"));
    footer()->setObjectName(QStringLiteral("c1P"));
    auto* caption = new QLabel(QStringLiteral("MSE(平均二乗誤差)"), header());
    caption->setObjectName(QStringLiteral("c02ms1L"));
    caption->setGeometry(440, 8, 220, 25);
    m_mse = new QLabel(header());
    m_mse->setObjectName(QStringLiteral("c02ms2L"));
    m_mse->setGeometry(664, 8, 220, 25);

    // The image takes 200 pixels under the header; the rest of the page stays empty.
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    m_image = new DiagramView(view);
    m_image->setObjectName(QStringLiteral("cImg"));
    m_image->setFixedHeight(200);
    layout->addWidget(m_image);
    layout->addStretch(1);
    setMainView(view);
}

void NetworkPage::showNetwork(const QImage& diagram, const QString& mseText) {
    m_image->setImage(diagram);
    m_mse->setText(mseText);
}
