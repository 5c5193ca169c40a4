#include "ui/PageFrame.h"

#include <QLabel>
#include <QVBoxLayout>

PageFrame::PageFrame(const QString& titleName, const QString& title, int headerHeight,
                     int footerHeight, QWidget* parent)
    : QWidget(parent), m_header(new QWidget(this)), m_body(new QWidget(this)),
      m_footer(new QWidget(this)), m_title(new QLabel(title, m_header)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header->setFixedHeight(headerHeight);
    m_footer->setFixedHeight(footerHeight);
    layout->addWidget(m_header);
    layout->addWidget(m_body, 1);
    layout->addWidget(m_footer);
    auto* bodyLayout = new QVBoxLayout(m_body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    m_title->setObjectName(titleName);
    m_title->move(8, 8);
    m_title->adjustSize();
}

void PageFrame::setMainView(QWidget* view) {
    view->setParent(m_body);
    m_body->layout()->addWidget(view);
}
