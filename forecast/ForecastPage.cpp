#include "forecast/ForecastPage.h"

#include "forecast/Forecaster.h"
#include "forecast/NetworkPage.h"
#include "forecast/PriceChartView.h"
#include "prices/PriceImport.h"
#include "records/Steppers.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/TorvaneError.h"
#include "ui/FocusChange.h"
#include "ui/UserAction.h"

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTimeAxis>
#include <QDropEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct SeriesLook {
    const char* name;
    QString title;
    QRgb colour;
    int width;
};

const std::array<SeriesLook, 7> seriesLooks = {{
    {"S1CL", QStringLiteral("終値"), 0x00FF40, 5},
    {"S2HV", QStringLiteral("高値"), 0xF39C35, 1},
    {"S3LV", QStringLiteral("安値"), 0xF14C14, 1},
    {"S4M75", QStringLiteral("75MA"), 0x4E97A8, 1},
    {"S5M1H", QStringLiteral("1H足MA"), 0x2B406B, 1},
    {"S6M4H", QStringLiteral("4H足MA"), 0x1D7B63, 1},
    {"S7M1D", QStringLiteral("日足MA"), 0xB3080E, 1},
}};

const QString dateTimeFormat = QStringLiteral("yyyy/MM/dd hh:mm");

// The training shows its progress this often (milliseconds).
constexpr int progressInterval = 100;

} // namespace

ForecastPage::ForecastPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("a11ttL"), QStringLiteral("1 FX予測 ﾄﾞﾙ円特化"), 80, 150, parent),
      m_session(session), m_dialogs(dialogs) {
    header()->setObjectName(QStringLiteral("a0P"));
    setAcceptDrops(true);
    footer()->setObjectName(QStringLiteral("a1P"));

    m_info = label(QStringLiteral("a12ifL"), QString(), 8, 40, 580, header());
    m_import = new QPushButton(QStringLiteral("FX読込"), header());
    m_import->setObjectName(QStringLiteral("a13rdtB"));
    m_import->setGeometry(288, 8, 100, 25);
    m_import->setAutoDefault(true); // the hint asks for Enter as well as a click
    m_import->installEventFilter(this);
    connect(m_import, &QPushButton::clicked, this, &ForecastPage::importRequested);

    m_days = new QLineEdit(QStringLiteral("3"), header());
    m_days->setObjectName(QStringLiteral("a15dE"));
    m_days->move(600, 8);
    m_days->setFixedWidth(60);
    m_days->installEventFilter(this);
    // The chart the core draws covers the day count shown here.
    m_session.forecast.setChartDays(m_days->text());
    connect(m_days, &QLineEdit::textChanged, this,
            [this](const QString& days) { m_session.forecast.setChartDays(days); });
    setTabOrder(m_import, m_days);
    label(QStringLiteral("a14crL"), QStringLiteral("日前から表示"), 680, 8, 200, header());

    m_progress = new QProgressBar(header());
    m_progress->setObjectName(QStringLiteral("a16pgsBar"));
    // The information line's second row right of its longest text (the button's hint): room for
    // "N本 done/total 残り約X" whole, with "中止" beside "FX読込" where a stop is looked for.
    m_progress->setGeometry(540, 44, 348, 22);
    m_progress->setFormat(QStringLiteral("学習 %v/%m"));
    m_progress->hide();
    m_cancel = new QPushButton(QStringLiteral("中止"), header());
    m_cancel->setObjectName(QStringLiteral("a17stpB"));
    m_cancel->setGeometry(396, 8, 68, 25);
    m_cancel->setAutoDefault(true); // Enter presses it, as on every button of the window
    m_cancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_session.forecast.stopTraining();
        m_cancel->setEnabled(false);
    });

    m_chart = new QChart;
    // The dark theme first: it would repaint series and axes set up before it.
    m_chart->setTheme(QChart::ChartThemeDark);
    m_chart->setTitle(QStringLiteral("20日間FX価格推移+終値予測10ｺﾏ"));
    QFont titleFont = m_chart->titleFont();
    titleFont.setPixelSize(22);
    m_chart->setTitleFont(titleFont);
    m_axisX = new QDateTimeAxis;
    m_axisX->setFormat(dateTimeFormat);
    m_axisX->setTickCount(4); // the long date-time labels stay whole at 904 pixels
    m_axisY = new QValueAxis;
    m_axisY->setLabelFormat(QStringLiteral("%d"));
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        const SeriesLook& look = seriesLooks[i];
        auto* s = new QLineSeries;
        s->setObjectName(QLatin1String(look.name));
        s->setName(look.title);
        m_chart->addSeries(s);
        s->setPen(QPen(QColor(look.colour), look.width)); // after the theme has decorated it
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        connect(s, &QLineSeries::hovered, this,
                [this, i](const QPointF& p, bool state) { showHover(int(i), p, state); });
        m_series[i] = s;
    }
    m_chart->legend()->setVisible(true);
    m_chartView = new PriceChartView(m_chart, m_dialogs);
    m_chartView->setObjectName(QStringLiteral("aCht"));
    m_chartView->setDatabaseFile([&dm = m_session.dm] { return dm.filePath(); });
    m_chartView->setRenderHint(QPainter::Antialiasing);
    setMainView(m_chartView);
    // The chart is this page's: whatever asks the core for it, the page draws what comes.
    connect(&m_session.forecast, &Forecaster::chartReady, this, &ForecastPage::showChart);

    QWidget* f = footer();
    label(QStringLiteral("a1011ifL"), QStringLiteral("1 予想"), 8, 8, 80, f);
    label(QStringLiteral("a1012zttL"), QStringLiteral("最終高値:"), 90, 8, 108, f);
    m_lastHigh = label(QStringLiteral("a1013ztvL"), QString(), 200, 8, 100, f);
    label(QStringLiteral("a1014aftL"), QStringLiteral("10ｺﾏ後値:"), 306, 8, 108, f);
    m_forecastHigh = label(QStringLiteral("a1015atvL"), QString(), 416, 8, 100, f);
    label(QStringLiteral("a1016satL"), QStringLiteral("差額:"), 536, 8, 62, f);
    m_highDiff = label(QStringLiteral("a1017stvL"), QString(), 600, 8, 100, f);
    label(QStringLiteral("a1022ttcL"), QStringLiteral("最終終値:"), 90, 32, 108, f);
    m_lastClose = label(QStringLiteral("a1023zcvL"), QString(), 200, 32, 100, f);
    m_forecastClose = label(QStringLiteral("a1025acvL"), QString(), 416, 32, 100, f);
    m_closeDiff = label(QStringLiteral("a1027scvL"), QString(), 600, 32, 100, f);
    label(QStringLiteral("a1032iflL"), QStringLiteral("最終安値:"), 90, 56, 108, f);
    m_lastLow = label(QStringLiteral("a1033zlvL"), QString(), 200, 56, 100, f);
    m_forecastLow = label(QStringLiteral("a1035alvL"), QString(), 416, 56, 100, f);
    m_lowDiff = label(QStringLiteral("a1037slvL"), QString(), 600, 56, 100, f);
    label(QStringLiteral("a1041ifL"), QStringLiteral("2 ﾌﾟﾛ目"), 8, 88, 80, f);
    label(QStringLiteral("a1042rzL"), QStringLiteral("結論:"), 90, 88, 108, f);
    m_conclusion = label(QStringLiteral("a1043rvL"), QString(), 200, 88, 100, f);
    label(QStringLiteral("a1044ruL"), QStringLiteral("理由:"), 306, 88, 108, f);
    m_reason = label(QStringLiteral("a1045uvL"), QString(), 416, 88, 470, f);
    label(QStringLiteral("a1051ifL"), QStringLiteral("3 ｲﾍﾞﾝﾄ情報(参考): 5.ｲﾍﾞﾝﾄﾍﾟｰｼﾞ参照"), 8, 120,
          880, f);
}

QLabel* ForecastPage::label(const QString& name, const QString& text, int left, int top, int width,
                            QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(left, top, width, 25);
    return l;
}

void ForecastPage::setInfo(const QString& text) {
    m_info->setText(text);
}

void ForecastPage::showLastBar(const ForecastSummary& s) {
    m_lastHigh->setText(s.lastHigh);
    m_lastClose->setText(s.lastClose);
    m_lastLow->setText(s.lastLow);
}

void ForecastPage::showSummary(const ForecastSummary& s) {
    showLastBar(s);
    m_forecastHigh->setText(s.forecastHigh);
    m_forecastClose->setText(s.forecastClose);
    m_forecastLow->setText(s.forecastLow);
    m_highDiff->setText(s.highDiff);
    m_closeDiff->setText(s.closeDiff);
    m_lowDiff->setText(s.lowDiff);
}

void ForecastPage::setOpinion(const QString& conclusion, const QString& reason) {
    m_conclusion->setText(conclusion);
    m_reason->setText(reason);
}

void ForecastPage::drawChart() {
    m_session.forecast.uq1K(Forecaster::forecastChart);
}

void ForecastPage::showChart(const ChartData& data, const QDateTime& lastBar) {
    m_axisX->setFormat(dateTimeFormat);
    m_chart->setTitle(data.title);
    QFont titleFont = m_chart->titleFont();
    titleFont.setPointSize(14);
    m_chart->setTitleFont(titleFont);
    m_chart->legend()->setVisible(true);
    m_axisY->setTitleText(QStringLiteral("(円)"));
    m_axisY->setTitleVisible(true);

    for (std::size_t i = 0; i < m_series.size(); ++i)
        m_series[i]->replace(data.series[i]);
    // Every bar, prices fitted to them, and where the forecast begins.
    m_chartView->resetZoom();
    m_chartView->setLastBar(lastBar);
}

void ForecastPage::showProgress(int done, int total) {
    if (done <= 0) {
        m_progress->setRange(0, total);
        m_progress->setValue(0);
        m_progress->show();
        m_progress->repaint();
        m_progressShown.start();
        return;
    }
    if (done >= total) {
        m_progress->setValue(total);
        m_progress->hide();
        return;
    }
    if (m_cancel->isVisible())
        showRemaining(done, total);
    // A training on this thread holds the event loop, so the bar is painted here.
    if (m_progressShown.elapsed() >= progressInterval) {
        m_progress->setValue(done);
        m_progress->repaint();
        m_progressShown.restart();
    }
}

namespace {

// "18秒", "3分", "2時間": a duration as the user reads it.
QString roughDuration(double seconds) {
    if (seconds < 90)
        return QStringLiteral("%1秒").arg(std::max(1, int(std::lround(seconds))));
    if (seconds < 90 * 60)
        return QStringLiteral("%1分").arg(std::lround(seconds / 60));
    return QStringLiteral("%1時間").arg(std::lround(seconds / 3600));
}

} // namespace

void ForecastPage::showTrainingStart(int bars) {
    // The bars are the new import's from now on: no forecast beside them until its own.
    for (QLabel* l : {m_forecastHigh, m_highDiff, m_forecastClose, m_closeDiff, m_forecastLow,
                      m_lowDiff})
        l->clear();
    m_trainingBars = bars;
    m_trainingClock.start();
    showRemaining(0, Forecaster::passes);
    m_cancel->setEnabled(true);
    m_cancel->show();
}

void ForecastPage::showRemaining(int done, int total) {
    // Before the first pass: how many bars and roughly how long, so that a large file can be
    // stopped at once.
    const double left = done > 0 ? m_trainingClock.elapsed() / 1000.0 / done * (total - done)
                                 : Forecaster::estimatedSeconds(m_trainingBars);
    m_progress->setFormat(
        QStringLiteral("%1本 %v/%m 残り約%2").arg(m_trainingBars).arg(roughDuration(left)));
}

void ForecastPage::showTrainingEnd() {
    m_cancel->hide();
    m_progress->hide();
    m_progress->setFormat(QStringLiteral("学習 %v/%m"));
}

void ForecastPage::showHover(int series, const QPointF& point, bool state) {
    if (!state) {
        m_chartView->setToolTip(QString());
        QToolTip::hideText();
        return;
    }
    const QList<QPointF> points = m_series[series]->points();
    if (points.isEmpty())
        return;
    // The nearest bar by time: the points are in time order.
    auto it = std::lower_bound(points.begin(), points.end(), point.x(),
                               [](const QPointF& p, qreal x) { return p.x() < x; });
    if (it == points.end() ||
        (it != points.begin() && point.x() - (it - 1)->x() < it->x() - point.x()))
        --it;
    const QString text =
        QStringLiteral("%1  %2: %3")
            .arg(QDateTime::fromMSecsSinceEpoch(qint64(it->x())).toString(dateTimeFormat),
                 m_series[series]->name(), QString::number(qint64(it->y())));
    m_chartView->setToolTip(text);
    QToolTip::showText(QCursor::pos(), text, m_chartView);
}

QString ForecastPage::droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls()[0].isLocalFile())
        return {};
    return data->urls()[0].toLocalFile();
}

void ForecastPage::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ForecastPage::dragMoveEvent(QDragMoveEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ForecastPage::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    Q_EMIT fileDropped(path);
}

bool ForecastPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_import) {
        // A message box or another window taking the focus for a while is no move between
        // controls: the import's own text in a12ifL must outlive its message boxes. Coming
        // back to the window shows the hint only where the line has nothing else to say.
        const bool focusIn = event->type() == QEvent::FocusIn;
        if (focusIn || event->type() == QEvent::FocusOut) {
            const bool moved = isControlFocusChange(static_cast<QFocusEvent*>(event));
            if (focusIn && (moved || m_info->text().isEmpty()))
                m_info->setText(PriceImport::a13rdtBHint());
            else if (!focusIn && moved)
                m_info->clear();
        }
    } else if (watched == m_days && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            QString& sn = m_session.reg.sa[1];
            sn = m_days->text();
            runAction(m_dialogs, [&] {
                Steppers::ucNm(sn, Vk::fromQt(key));
                m_days->setText(sn);
            });
        }
    }
    return PageFrame::eventFilter(watched, event);
}

void connectForecastPages(Session& session, ForecastPage& page1, NetworkPage& page3) {
    Forecaster& f = session.forecast;
    QObject::connect(&session.prices, &PriceImport::infoShown, &page1, &ForecastPage::setInfo);
    QObject::connect(&f, &Forecaster::lastBarShown, &page1, &ForecastPage::showLastBar);
    QObject::connect(&f, &Forecaster::trainingStarted, &page1, &ForecastPage::showTrainingStart);
    QObject::connect(&f, &Forecaster::progressed, &page1, &ForecastPage::showProgress);
    QObject::connect(&f, &Forecaster::trainingEnded, &page1, &ForecastPage::showTrainingEnd);
    QObject::connect(&f, &Forecaster::summaryShown, &page1, &ForecastPage::showSummary);
    // The previous network goes with the previous import's forecast.
    QObject::connect(&f, &Forecaster::trainingStarted, &page3,
                     [&page3] { page3.showNetwork(QImage(), QString()); });
    QObject::connect(&f, &Forecaster::networkDrawn, &page3, &NetworkPage::showNetwork);
}
