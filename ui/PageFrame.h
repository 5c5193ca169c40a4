#pragma once

#include <QWidget>

class QLabel;

// The layout every page shares: a header panel of fixed height with the title label at 8, 8,
// the main view taking the remaining space, and a footer panel of fixed height.
class PageFrame : public QWidget {
    Q_OBJECT
public:
    PageFrame(const QString& titleName, const QString& title, int headerHeight, int footerHeight,
              QWidget* parent = nullptr);

    QWidget* header() const { return m_header; }
    QWidget* footer() const { return m_footer; }
    QLabel* titleLabel() const { return m_title; }
    // The view that takes the extra space when the window grows.
    void setMainView(QWidget* view);

private:
    QWidget* m_header;
    QWidget* m_body;
    QWidget* m_footer;
    QLabel* m_title;
};
