#include "analysis/BacktestPage.h"

#include "analysis/TrackRecord.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/KeptSettings.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "ui/UserAction.h"

#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

const QString dash = QStringLiteral("-");

QString senText(std::optional<double> sen) {
    return sen ? QString::number(*sen, 'f', 1) : dash;
}

// "48.1–61.7": an interval's bounds in percent.
QString boundsText(const Stats::Interval& interval) {
    return Stats::percentText(interval.low) + QStringLiteral("–") +
           Stats::percentText(interval.high);
}

QString timeLeftText(double seconds) {
    if (seconds < 0)
        return QStringLiteral("計算中");
    const qint64 s = std::llround(seconds);
    if (s < 60)
        return QStringLiteral("約 %1秒").arg(s);
    const qint64 minutes = (s + 30) / 60;
    if (minutes < 60)
        return QStringLiteral("約 %1分").arg(minutes);
    return QStringLiteral("約 %1時間%2分").arg(minutes / 60).arg(minutes % 60);
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(true); // Enter presses the focused button, as on every page
    return b;
}

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit* entry(const QString& name, const QString& text, QWidget* parent) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    return e;
}

} // namespace

BacktestPage::BacktestPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("k01ttL"), QStringLiteral("10 検証"), 80, 72, parent),
      m_session(session), m_dialogs(dialogs) {
    header()->setObjectName(QStringLiteral("k0P"));
    footer()->setObjectName(QStringLiteral("k1P"));
    QWidget* h = header();

    label(QStringLiteral("k02flL"), QStringLiteral("ﾌｧｲﾙ"), h)->setGeometry(104, 8, 56, 25);
    m_file =
        entry(QStringLiteral("k03flE"), KeptSettings::value(KeptSettings::priceFile).toString(), h);
    m_file->setGeometry(164, 8, 616, 25);
    m_browse = button(QStringLiteral("k04refB"), QStringLiteral("参照"), h);
    m_browse->setGeometry(788, 8, 100, 25);
    connect(m_browse, &QPushButton::clicked, this, &BacktestPage::browsePressed);

    // Empty dates are the defaults: two months after the file's first bar, and its last bar.
    label(QStringLiteral("k05prL"), QStringLiteral("期間"), h)->setGeometry(8, 44, 50, 25);
    m_from = entry(QStringLiteral("k06frE"), QString(), h);
    m_from->setGeometry(60, 44, 128, 25);
    m_from->setPlaceholderText(QStringLiteral("最初+2か月"));
    label(QStringLiteral("k07tlL"), QStringLiteral("〜"), h)->setGeometry(190, 44, 24, 25);
    m_to = entry(QStringLiteral("k08toE"), QString(), h);
    m_to->setGeometry(216, 44, 128, 25);
    m_to->setPlaceholderText(QStringLiteral("最後"));
    label(QStringLiteral("k09orL"), QStringLiteral("時刻"), h)->setGeometry(352, 44, 50, 25);
    m_origins = entry(QStringLiteral("k10orE"), QStringLiteral("09:00,15:00,21:00"), h);
    m_origins->setGeometry(402, 44, 210, 25);
    label(QStringLiteral("k11sdL"), QStringLiteral("ｼｰﾄﾞ"), h)->setGeometry(618, 44, 50, 25);
    m_seeds = new QSpinBox(h);
    m_seeds->setObjectName(QStringLiteral("k12sdS"));
    m_seeds->setRange(1, 99);
    m_seeds->setValue(1);
    m_seeds->setGeometry(668, 44, 60, 25);
    m_run = button(QStringLiteral("k13runB"), QStringLiteral("実行"), h);
    m_run->setGeometry(736, 44, 72, 25);
    connect(m_run, &QPushButton::clicked, this, &BacktestPage::runPressed);
    m_stop = button(QStringLiteral("k14stpB"), QStringLiteral("中止"), h);
    m_stop->setGeometry(816, 44, 72, 25);
    m_stop->setEnabled(false);
    connect(m_stop, &QPushButton::clicked, this, &BacktestPage::stopPressed);

    // The lines and the table in the size of the chart's labels: ten slots and nine columns fit
    // beside the chart.
    QFont small = font();
    small.setPixelSize(16);
    QWidget* f = footer();
    m_progressText = label(QStringLiteral("k15prgL"), QString(), f);
    m_progressText->setGeometry(8, 6, 424, 26);
    m_progressText->setFont(small);
    m_progress = new QProgressBar(f);
    m_progress->setObjectName(QStringLiteral("k16pgsBar"));
    m_progress->setGeometry(436, 8, 212, 22);
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("%v/%m"));
    m_progress->hide();
    m_clear = button(QStringLiteral("k17clrB"), QStringLiteral("保存した予測を消す"), f);
    m_clear->setGeometry(656, 6, 232, 25);
    connect(m_clear, &QPushButton::clicked, this, &BacktestPage::clearPressed);
    m_record = label(QStringLiteral("k18recL"), QString(), f);
    m_record->setGeometry(8, 38, 880, 26);
    m_record->setFont(small);
    setTabOrder(m_file, m_browse);
    setTabOrder(m_browse, m_from);
    setTabOrder(m_from, m_to);
    setTabOrder(m_to, m_origins);
    setTabOrder(m_origins, m_seeds);
    setTabOrder(m_seeds, m_run);
    setTabOrder(m_run, m_stop);
    setTabOrder(m_stop, m_clear);

    // Two-line headers in a smaller size: the nine columns leave the chart its room.
    QFont cells = font();
    cells.setPixelSize(14);
    m_rows = new QStandardItemModel(0, 9, this);
    m_rows->setHorizontalHeaderLabels(
        {QStringLiteral("ｺﾏ後"), QStringLiteral("n"), QStringLiteral("的中率\n(95%区間)"),
         QStringLiteral("誤差\n(銭)"), QStringLiteral("無変化\n(銭)"), QStringLiteral("相対\n誤差"),
         QStringLiteral("判定"), QStringLiteral("ドリフト\n(銭)"),
         QStringLiteral("同時刻\n平均(銭)")});
    m_grid = new QTableView;
    m_grid->setObjectName(QStringLiteral("k19rsG"));
    m_grid->setModel(m_rows);
    m_grid->setFont(cells);
    m_grid->horizontalHeader()->setFont(cells);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->hide();
    // Narrow columns (n) as narrow as their texts, whatever the style's least width in the font.
    m_grid->horizontalHeader()->setMinimumSectionSize(
        QFontMetrics(cells).horizontalAdvance(QStringLiteral("000")) + 8);
    m_grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(cells).height() + 6);
    m_note = label(QStringLiteral("k20ntL"),
                   QStringLiteral("的中率の区間は名目上です (続く起点の予測は期間が重なり独立では"
                                  "ありません)"),
                   nullptr);
    m_note->setFont(cells);
    m_note->setWordWrap(true);

    m_chart = new QChart;
    m_chart->setTheme(QChart::ChartThemeDark);
    // The title says what the dashed line is: the narrow chart has no room for a legend.
    m_chart->setTitle(QStringLiteral("相対誤差 (点線=無変化)"));
    QFont titleFont = m_chart->titleFont();
    titleFont.setPixelSize(16);
    m_chart->setTitleFont(titleFont);
    m_axisX = new QValueAxis;
    m_axisY = new QValueAxis;
    QFont labelFont = m_axisX->labelsFont();
    labelFont.setPixelSize(12);
    m_axisX->setRange(0.5, 10.5);
    m_axisX->setTickType(QValueAxis::TicksDynamic);
    m_axisX->setTickAnchor(1);
    m_axisX->setTickInterval(1);
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    m_axisX->setTitleText(QStringLiteral("ｺﾏ後"));
    m_axisY->setTickType(QValueAxis::TicksDynamic);
    m_axisY->setTickAnchor(0);
    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelsFont(labelFont);
        axis->setTitleFont(labelFont);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    // Below the dashed line the forecast erred less than no change at that slot.
    m_noChange = new QLineSeries;
    m_noChange->setObjectName(QStringLiteral("S0NCH"));
    m_noChange->setName(QStringLiteral("無変化 = 1.0"));
    m_chart->addSeries(m_noChange);
    m_noChange->setPen(QPen(QColor(0xA0A0A0), 1, Qt::DashLine)); // after the theme
    m_noChange->replace({QPointF(0.5, 1.0), QPointF(10.5, 1.0)});
    m_relativeLine = new QLineSeries;
    m_relativeLine->setObjectName(QStringLiteral("S1RELL"));
    m_chart->addSeries(m_relativeLine);
    m_relativeLine->setPen(QPen(QColor(0x00FF40), 2));
    m_relative = new QScatterSeries;
    m_relative->setObjectName(QStringLiteral("S1REL"));
    m_relative->setName(QStringLiteral("相対誤差"));
    m_chart->addSeries(m_relative);
    m_relative->setMarkerSize(9);
    m_relative->setColor(QColor(0x00FF40)); // page 1's close
    m_relative->setBorderColor(QColor(0x00FF40));
    for (QAbstractSeries* s :
         std::initializer_list<QAbstractSeries*>{m_noChange, m_relativeLine, m_relative}) {
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
    }
    m_chart->legend()->hide();
    // Every slot labelled where the plot has room for ten labels, every third otherwise (a
    // taller fallback font widens the grid beside it).
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        const QFontMetrics metrics(m_axisX->labelsFont());
        const double room = 10 * (metrics.horizontalAdvance(QStringLiteral("10")) + 6);
        m_axisX->setTickInterval(plot.width() >= room ? 1 : 3);
    });
    m_chartView = new QChartView(m_chart);
    m_chartView->setObjectName(QStringLiteral("kCht"));
    m_chartView->setRenderHint(QPainter::Antialiasing);

    auto* view = new QWidget;
    auto* layout = new QHBoxLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* left = new QVBoxLayout;
    left->setSpacing(2);
    left->addWidget(m_grid, 1);
    left->addWidget(m_note);
    layout->addLayout(left);
    layout->addWidget(m_chartView, 1);
    setMainView(view);
    showResults();

    Backtester& b = m_session.backtest;
    connect(&b, &Backtester::progressed, this, &BacktestPage::showProgress);
    connect(&b, &Backtester::finished, this, &BacktestPage::runEnded);
    connect(&b, &Backtester::failed, this, [this](const QString& text) {
        m_failed = true;
        m_dialogs.error(text);
    });
    connect(&m_session.prices, &PriceImport::imported, this,
            [this] { rememberFile(m_session.prices.lastFile()); });
}

void BacktestPage::rememberFile(const QString& path) {
    if (path.isEmpty())
        return;
    m_file->setText(path);
    KeptSettings::setValue(KeptSettings::priceFile, path);
}

void BacktestPage::browsePressed() {
    const QString path = m_dialogs.openFile();
    if (!path.isEmpty())
        m_file->setText(path);
}

std::optional<QList<QTime>> BacktestPage::readOrigins(const QString& text) {
    static const QRegularExpression hhnn(QStringLiteral(R"(^\s*\d{1,2}:\d{2}\s*$)"));
    QList<QTime> times;
    for (const QString& part : text.split(u',')) {
        const QTime time =
            hhnn.match(part).hasMatch() ? TextRules::readTime(part.trimmed()) : QTime();
        if (!time.isValid())
            return std::nullopt;
        times << time;
    }
    return times;
}

bool BacktestPage::readDateEntry(const QLineEdit* edit, const QString& name, QDate& date) {
    const QString text = edit->text().trimmed();
    date = QDate();
    if (text.isEmpty())
        return true;
    date = TextRules::readDate(text);
    if (date.isValid())
        return true;
    m_dialogs.message(
        QStringLiteral("%1の日付 '%2' を読めません (yyyy/mm/dd、空なら既定)").arg(name, text));
    return false;
}

void BacktestPage::runPressed() {
    if (m_session.refusesWhileBusy(QStringLiteral("検証を始められません")))
        return;
    Backtester::Plan plan;
    plan.file = m_file->text().trimmed();
    if (plan.file.isEmpty()) {
        m_dialogs.message(QStringLiteral("検証する価格ファイルを選んでください"));
        return;
    }
    if (!readDateEntry(m_from, QStringLiteral("開始"), plan.from) ||
        !readDateEntry(m_to, QStringLiteral("終了"), plan.to))
        return;
    if (plan.from.isValid() && plan.to.isValid() && plan.from > plan.to) {
        m_dialogs.message(QStringLiteral("期間の開始が終了より後です"));
        return;
    }
    const std::optional<QList<QTime>> origins = readOrigins(m_origins->text());
    if (!origins) {
        m_dialogs.message(QStringLiteral("時刻 '%1' を読めません。hh:nn をカンマで区切って"
                                         "入力してください (例: 09:00,15:00,21:00)")
                              .arg(m_origins->text()));
        return;
    }
    plan.origins = *origins;
    plan.seeds = m_seeds->value();
    runAction(m_dialogs, [&] {
        if (!m_session.prices.askServerTime(plan.file, QFileInfo(plan.file).fileName(),
                                            plan.serverTime))
            return;
        // Running before the start: a run whose folds are all kept ends inside it.
        setRunning(true);
        try {
            m_session.backtest.start(plan);
        } catch (...) {
            setRunning(false);
            m_progressText->setText(QStringLiteral("検証を始められませんでした"));
            showResults(); // the previous run's folds are gone
            throw;
        }
    });
}

void BacktestPage::stopPressed() {
    m_stop->setEnabled(false);
    m_session.backtest.stop();
}

void BacktestPage::clearPressed() {
    if (m_session.backtest.running()) {
        m_dialogs.message(Backtester::duringBacktest(QStringLiteral("保存した予測を消せません")));
        return;
    }
    runAction(m_dialogs, [this] {
        const int kept = m_session.backtest.keptFolds();
        if (!m_dialogs.confirm(
                QStringLiteral("保存した検証の予測 %1 件を消します。次の実行ではすべて学習し"
                               "直します。よろしいですか?")
                    .arg(kept)))
            return;
        m_session.backtest.clearKept();
        m_progressText->setText(QStringLiteral("保存した予測を消しました"));
    });
}

void BacktestPage::setRunning(bool running) {
    m_stop->setEnabled(running);
    m_clear->setEnabled(!running);
    if (running) {
        m_failed = false;
        m_progress->show();
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        m_progressText->setText(QStringLiteral("検証を準備しています"));
    }
}

QString BacktestPage::progressText(int done, int total, double secondsLeft) {
    return QStringLiteral("完了 %1 / 残り %2 / 残り時間 %3")
        .arg(done)
        .arg(std::max(0, total - done))
        .arg(timeLeftText(secondsLeft));
}

void BacktestPage::showProgress(int done, int total, double secondsLeft) {
    m_progress->show();
    m_progress->setRange(0, std::max(1, total));
    m_progress->setValue(std::min(done, std::max(1, total)));
    m_progressText->setText(progressText(done, total, secondsLeft));
}

void BacktestPage::runEnded(bool complete) {
    setRunning(false);
    const Backtester& b = m_session.backtest;
    const int done = b.trained() + b.cached();
    m_progressText->setText(QStringLiteral("%1: %2件 (学習%3 保存分%4 休場%5)")
                                .arg(complete   ? QStringLiteral("検証終了")
                                     : m_failed ? QStringLiteral("エラー")
                                                : QStringLiteral("中止"))
                                .arg(done)
                                .arg(b.trained())
                                .arg(b.cached())
                                .arg(b.skipped()));
    showResults();
    // A file shorter than the default period's two months has no origin in it.
    if (complete && b.folds().empty())
        m_dialogs.message(QStringLiteral("期間に予測できる起点がありません。期間を確かめてください"
                                         " (空なら、ﾌｧｲﾙの最初の足の2か月後から最後の足まで)"));
}

QStringList BacktestPage::rowTexts(const Backtest::SlotRow& row) {
    const Stats::Skill& s = row.horizon.skill;
    QString rate = dash;
    if (s.directional() > 0) {
        rate = QString::number(100.0 * s.hits / s.directional(), 'f', 1) + u'%';
        if (s.hitRate)
            rate += QStringLiteral(" (%1)").arg(boundsText(*s.hitRate));
    }
    const bool any = s.scored > 0;
    return {QStringLiteral("%1ｺﾏ後").arg(row.horizon.slot),
            QString::number(s.scored),
            rate,
            senText(s.meanError()),
            senText(s.noChangeMeanError()),
            row.relativeError ? QString::number(*row.relativeError, 'f', 2) : dash,
            any ? Backtest::verdictWords(s.comparison.verdict) : dash,
            senText(row.driftError),
            senText(row.sameTimeError)};
}

void BacktestPage::showResults() {
    const Backtester& b = m_session.backtest;
    const std::vector<Backtest::SlotRow> rows = Backtest::slotRows(b.folds(), b.decimals());
    m_rows->setRowCount(0);
    QList<QPointF> points;
    double top = 1.5;
    for (const Backtest::SlotRow& row : rows) {
        QList<QStandardItem*> cells;
        const QStringList texts = rowTexts(row);
        for (int c = 0; c < texts.size(); ++c) {
            auto* item = new QStandardItem(texts[c]);
            item->setEditable(false);
            // Numbers to the right; the slot and the verdict read as words.
            if (c != 0 && c != 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            cells << item;
        }
        m_rows->appendRow(cells);
        if (row.relativeError) {
            points << QPointF(row.horizon.slot, *row.relativeError);
            top = std::max(top, *row.relativeError * 1.1);
        }
    }
    // The grid as wide as its columns; the chart takes the rest of the width.
    m_grid->resizeColumnsToContents();
    m_grid->setFixedWidth(m_grid->horizontalHeader()->length() + 2 * m_grid->frameWidth());
    m_relative->replace(points);
    m_relativeLine->replace(points);
    // Ticks at round steps from 0, the no-change line among them.
    const double step = top <= 2 ? 0.25 : top <= 4 ? 0.5 : std::ceil(top / 8);
    m_axisY->setTickInterval(step);
    m_axisY->setLabelFormat(step < 0.5 ? QStringLiteral("%.2f") : QStringLiteral("%.1f"));
    m_axisY->setRange(0, std::ceil(top / step) * step);
    m_tenth.reset();
    if (rows.size() == 10 && rows.back().horizon.skill.scored > 0)
        m_tenth = rows.back();
    refreshRecord();
}

QString BacktestPage::recordText(const Tracking::NetworkRecord& live,
                                 const std::optional<Backtest::SlotRow>& tenth) {
    const int n = live.scored - live.ties;
    if (n <= 0)
        return QStringLiteral("実際の記録はまだありません");
    const double rate = double(live.hits) / n;
    const QString own = QStringLiteral("実際の記録の的中率 %1% (n=%2)")
                            .arg(QString::number(100.0 * rate, 'f', 1))
                            .arg(n);
    if (!tenth || !tenth->horizon.skill.hitRate)
        return own + QStringLiteral("。検証の10ｺﾏ後にはまだ比べる区間がありません");
    const Stats::Interval& i = *tenth->horizon.skill.hitRate;
    const bool inside = rate >= i.low && rate <= i.high;
    return own + QStringLiteral(" は検証の10ｺﾏ後の区間 (%1%) の%2にあります")
                     .arg(boundsText(i), inside ? QStringLiteral("内") : QStringLiteral("外"));
}

void BacktestPage::refreshRecord() {
    if (m_session.backtest.folds().empty()) {
        m_record->clear();
        return;
    }
    try {
        m_record->setText(recordText(m_session.analysis.trackRecord().network, m_tenth));
    } catch (const TorvaneError& e) {
        m_record->setText(QStringLiteral("実際の記録を読めません: ") + e.text());
    }
}
