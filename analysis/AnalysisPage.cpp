#include "analysis/AnalysisPage.h"

#include "analysis/TrackRecord.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

// The longest name a cell and its tip show: laying out megabytes of a name the user typed would
// freeze the window, and no tip that long can be read.
constexpr qsizetype longestShown = 200;

QString shown(const QString& text) {
    if (text.size() <= longestShown)
        return text;
    return TextFile::cutToLength(text, longestShown) + u'…';
}

QStandardItem* cell(const QString& text, bool number) {
    auto* item = new QStandardItem(shown(text));
    item->setEditable(false);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    else
        item->setToolTip(shown(text));
    return item;
}

} // namespace

AnalysisPage::AnalysisPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("j01ttL"), QStringLiteral("9 分析 予測・ﾌﾟﾛ目・ｲﾍﾞﾝﾄの成績"), 80, 40,
                parent),
      m_session(session), m_dialogs(dialogs) {
    header()->setObjectName(QStringLiteral("j0P"));
    footer()->setObjectName(QStringLiteral("j1P"));
    m_network = new QLabel(header());
    m_network->setObjectName(QStringLiteral("j02netL"));
    m_network->setGeometry(8, 44, 880, 28);

    m_sites = new QStandardItemModel(0, 5, this);
    m_sites->setHorizontalHeaderLabels({QStringLiteral("ｻｲﾄ"), QStringLiteral("判定"),
                                        QStringLiteral("採点"), QStringLiteral("的中"),
                                        QStringLiteral("的中率")});
    m_events = new QStandardItemModel(0, 5, this);
    m_events->setHorizontalHeaderLabels({QStringLiteral("ｲﾍﾞﾝﾄ"), QStringLiteral("件数"),
                                         QStringLiteral("同方向"), QStringLiteral("平均差"),
                                         QStringLiteral("平均|差|")});

    m_chart = new QChart;
    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->setTitle(QStringLiteral("予測終値と実際の終値(10ｺﾏ後)"));
    QFont titleFont = m_chart->titleFont();
    titleFont.setPixelSize(22);
    m_chart->setTitleFont(titleFont);
    m_axisX = new QDateTimeAxis;
    m_axisX->setFormat(QStringLiteral("yyyy/MM/dd hh:mm"));
    m_axisX->setTickCount(4);
    m_axisY = new QValueAxis;
    m_axisY->setLabelFormat(QStringLiteral("%d"));
    m_axisY->setTitleText(QStringLiteral("(円)"));
    m_axisY->setTitleVisible(true);
    // The chart has the height the grids leave: in the window font its labels would crowd the
    // plot away and be cut to "...", the more so in a taller fallback font.
    QFont labelFont = m_axisX->labelsFont();
    labelFont.setPixelSize(16);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(m_axisX), static_cast<QAbstractAxis*>(m_axisY)}) {
        axis->setLabelsFont(labelFont);
        axis->setTitleFont(labelFont);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    const auto series = [this](const char* name, const QString& title, QRgb colour, int width) {
        auto* s = new QLineSeries;
        s->setObjectName(QLatin1String(name));
        s->setName(title);
        m_chart->addSeries(s);
        s->setPen(QPen(QColor(colour), width)); // after the theme has decorated it
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        return s;
    };
    // The colours of page 1's close and high, so the two charts read alike.
    m_actual = series("S1ACV", QStringLiteral("実際の終値"), 0x00FF40, 3);
    m_forecast = series("S2FCV", QStringLiteral("予測終値"), 0xF39C35, 2);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setFont(labelFont);
    m_chartView = new QChartView(m_chart);
    m_chartView->setObjectName(QStringLiteral("jCht"));
    m_chartView->setRenderHint(QPainter::Antialiasing);

    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_grids = new QHBoxLayout;
    QHBoxLayout* grids = m_grids;
    grids->setSpacing(4);
    m_siteGrid = grid(QStringLiteral("jProG"), m_sites);
    m_eventGrid = grid(QStringLiteral("jEvG"), m_events);
    grids->addWidget(m_siteGrid, 4);
    grids->addWidget(m_eventGrid, 5);
    layout->addLayout(grids);
    layout->addWidget(m_chartView, 1);
    setMainView(view);
}

QTableView* AnalysisPage::grid(const QString& name, QStandardItemModel* model) {
    auto* g = new QTableView;
    g->setObjectName(name);
    g->setModel(model);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->verticalHeader()->hide();
    // Five lines of the window font: the chart below keeps the room its axis labels need.
    g->setFixedHeight(5 * g->fontMetrics().height() + 2 * g->frameWidth() + 12);
    return g;
}

void AnalysisPage::refresh() {
    try {
        showRecord(m_session.analysis.trackRecord());
    } catch (const TorvaneError& e) {
        m_dialogs.error(e.text());
    }
}

void AnalysisPage::showRecord(const Tracking::TrackRecord& record) {
    const Tracking::NetworkRecord& n = record.network;
    QString verdict = QStringLiteral("-");
    if (const auto beats = n.beatsNoChange())
        verdict = *beats ? QStringLiteral("ﾈｯﾄﾜｰｸの勝ち") : QStringLiteral("無変化の勝ち");
    m_network->setText(QStringLiteral("予測 記録%1 採点%2 的中%3(%4) 誤差%5 無変化%6 %7")
                           .arg(n.logged)
                           .arg(n.scored)
                           .arg(n.hits)
                           .arg(Tracking::rateText(n.hits, n.scored), n.meanError(),
                                n.noChangeMeanError(), verdict));

    m_sites->setRowCount(0);
    for (const Tracking::SiteRecord& s : record.sites)
        m_sites->appendRow({cell(s.site, false), cell(QString::number(s.read), true),
                            cell(QString::number(s.scored), true),
                            cell(QString::number(s.hits), true),
                            cell(Tracking::rateText(s.hits, s.scored), true)});
    m_events->setRowCount(0);
    for (const Tracking::EventRecord& e : record.events)
        m_events->appendRow({cell(e.name, false), cell(QString::number(e.count), true),
                             cell(QString::number(e.withSurprise), true), cell(e.meanMove(), true),
                             cell(e.meanAbsMove(), true)});
    // The two grids share the width in proportion to what their columns need, a long name
    // counting as 14 half-width characters. The name column takes whatever room its grid has:
    // a wider window shows long names whole, a narrow one cuts them, and the cell's tip shows
    // them whole.
    int k = 0;
    const int longest = m_siteGrid->fontMetrics().horizontalAdvance(QString(14, u'0')) + 12;
    for (QTableView* g : {m_siteGrid, m_eventGrid}) {
        QHeaderView* header = g->horizontalHeader();
        header->setSectionResizeMode(0, QHeaderView::Interactive);
        g->resizeColumnsToContents();
        int need = std::min(g->columnWidth(0), longest);
        for (int c = 1; c < header->count(); ++c)
            need += g->columnWidth(c);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        m_grids->setStretch(k++, need + 2 * g->frameWidth());
    }

    QList<QPointF> forecast, actual;
    forecast.reserve(record.chart.size());
    actual.reserve(record.chart.size());
    qint64 low = 0, high = 0;
    for (const Tracking::ChartPoint& p : record.chart) {
        forecast.append(QPointF(double(p.targetMs), double(p.forecast)));
        actual.append(QPointF(double(p.targetMs), double(p.actual)));
        const qint64 pl = std::min(p.forecast, p.actual), ph = std::max(p.forecast, p.actual);
        low = forecast.size() == 1 ? pl : std::min(low, pl);
        high = forecast.size() == 1 ? ph : std::max(high, ph);
    }
    m_forecast->replace(forecast);
    m_actual->replace(actual);
    if (!record.chart.isEmpty()) {
        const qint64 first = record.chart.first().targetMs, last = record.chart.last().targetMs;
        // One point still gets an axis an hour wide around it.
        m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(first - (first == last ? 1800000 : 0)),
                          QDateTime::fromMSecsSinceEpoch(last + (first == last ? 1800000 : 0)));
        const qint64 margin = std::max<qint64>((high - low) / 10, 10);
        m_axisY->setRange(double(low - margin), double(high + margin));
    }
}
