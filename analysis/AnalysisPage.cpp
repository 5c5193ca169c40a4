#include "analysis/AnalysisPage.h"

#include "analysis/TrackRecord.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/TextFile.h"
#include "store/TorvaneError.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

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
    // The record's lines in the size of the chart's labels: n, the hit rate with its interval,
    // both errors and the verdict fit the page's width.
    QFont lineFont = font();
    lineFont.setPixelSize(16);
    m_network = new QLabel(header());
    m_network->setObjectName(QStringLiteral("j02netL"));
    m_network->setGeometry(8, 44, 880, 28);
    m_network->setFont(lineFont);
    m_unread = new QLabel(header());
    m_unread->setObjectName(QStringLiteral("j04unrL"));
    m_unread->setGeometry(440, 8, 448, 28);
    m_unread->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_unread->setFont(lineFont);
    // One line per bar interval when forecasts of several are logged: they are not pooled.
    m_intervals = new QLabel;
    m_intervals->setObjectName(QStringLiteral("j03itvL"));
    m_intervals->setFont(lineFont);
    m_intervals->hide();

    m_sites = new QStandardItemModel(0, 5, this);
    m_sites->setHorizontalHeaderLabels({QStringLiteral("ｻｲﾄ"), QStringLiteral("判定"),
                                        QStringLiteral("採点"), QStringLiteral("的中"),
                                        QStringLiteral("的中率(%)")});
    m_events = new QStandardItemModel(0, 5, this);
    m_events->setHorizontalHeaderLabels({QStringLiteral("ｲﾍﾞﾝﾄ"), QStringLiteral("件数"),
                                         QStringLiteral("同方向"), QStringLiteral("平均差(点)"),
                                         QStringLiteral("平均|差|(点)")});

    m_chart = new QChart;
    m_chart->setTheme(QChart::ChartThemeDark);
    // The axes' names and unit in the title: the plot keeps the height the grids leave it.
    m_chart->setTitle(QStringLiteral("横: 予測の変化(銭)、縦: 実際の変化(銭)、10ｺﾏ後"));
    QFont titleFont = m_chart->titleFont();
    titleFont.setPixelSize(22);
    m_chart->setTitleFont(titleFont);
    m_axisX = new QValueAxis;
    m_axisY = new QValueAxis;
    // The chart has the height the grids leave: in the window font its labels would crowd the
    // plot away and be cut to "...", the more so in a taller fallback font.
    QFont labelFont = m_axisX->labelsFont();
    labelFont.setPixelSize(16);
    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelFormat(QStringLiteral("%d"));
        axis->setLabelsFont(labelFont);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    const auto zeroLine = [this](const char* name) {
        auto* s = new QLineSeries;
        s->setObjectName(QLatin1String(name));
        m_chart->addSeries(s);
        s->setPen(QPen(QColor(0xA0A0A0), 1, Qt::DashLine)); // after the theme has decorated it
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        return s;
    };
    m_zeroX = zeroLine("S0ZRX");
    m_zeroY = zeroLine("S0ZRY");
    // Points right of the vertical zero line and above the horizontal one (or left and below)
    // are forecasts whose direction came true; skill shows as points leaning that way.
    m_changes = new QScatterSeries;
    m_changes->setObjectName(QStringLiteral("S3CHG"));
    m_changes->setName(QStringLiteral("採点した予測"));
    m_chart->addSeries(m_changes);
    m_changes->setMarkerSize(8);
    m_changes->setColor(QColor(0x00FF40)); // page 1's close
    m_changes->setBorderColor(QColor(0x00FF40));
    m_changes->attachAxis(m_axisX);
    m_changes->attachAxis(m_axisY);
    m_chart->legend()->setVisible(true);
    m_chart->legend()->setFont(labelFont);
    for (QLegendMarker* marker : m_chart->legend()->markers(m_zeroX) + m_chart->legend()->markers(m_zeroY))
        marker->setVisible(false);
    m_chartView = new QChartView(m_chart);
    m_chartView->setObjectName(QStringLiteral("jCht"));
    m_chartView->setRenderHint(QPainter::Antialiasing);

    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_intervals);
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
    m_network->setText(QStringLiteral("予測 ") + n.summary());
    QStringList intervals;
    for (const Tracking::IntervalRecord& i : record.intervals)
        intervals << QStringLiteral("%1分足: %2").arg(i.minutes).arg(i.record.summary());
    m_intervals->setText(intervals.join(u'\n'));
    m_intervals->setVisible(!intervals.isEmpty());
    m_unread->setText(QStringLiteral("記録%1 休場%2 単位違い%3 読めない相場観%4")
                          .arg(n.logged)
                          .arg(n.closed)
                          .arg(n.otherUnits)
                          .arg(record.unreadOpinions));

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

    QList<QPointF> points;
    points.reserve(record.changes.size());
    double reach = 10; // sen; an empty chart still shows its zero lines
    for (const Tracking::ChangePoint& c : record.changes) {
        points.append(QPointF(c.forecast, c.actual));
        reach = std::max({reach, std::abs(c.forecast), std::abs(c.actual)});
    }
    m_changes->replace(points);
    reach *= 1.1;
    m_axisX->setRange(-reach, reach);
    m_axisY->setRange(-reach, reach);
    m_zeroX->replace({QPointF(0, -reach), QPointF(0, reach)});
    m_zeroY->replace({QPointF(-reach, 0), QPointF(reach, 0)});
}
