#include "forecast/ForecastPage.h"
#include "forecast/Forecaster.h"
#include "forecast/NetworkPage.h"
#include "forecast/PriceChartView.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/TorvaneError.h"
#include "support/FullDisk.h"
#include "support/PriceTable.h"
#include "support/SessionJobs.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QDateTimeAxis>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGraphicsLineItem>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// Dialogs whose message boxes take the focus away from the window and give it back, as a real
// modal box does.
class BoxDialogs : public TestDialogs {
public:
    void message(const QString& text) override {
        TestDialogs::message(text);
        if (QWidget* w = QApplication::focusWidget()) {
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(w, &out);
            QFocusEvent in(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(w, &in);
        }
    }
};

} // namespace

class TestForecastPage : public QObject {
    Q_OBJECT

    TestSettings settings;

    std::unique_ptr<TestFolder> dir;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<Session> session;
    std::unique_ptr<ForecastPage> page;

    template <typename T = QLabel> T* child(const QString& name) {
        T* w = page->findChild<T*>(name);
        if (!w)
            qFatal("no control %s", qPrintable(name));
        return w;
    }
    QString text(const QString& name) { return child(name)->text(); }
    void openSession() {
        session->openDatabases();
        dialogs->clear();
    }
    void showPage() {
        page->resize(896, 562);
        page->show();
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page.get()));
    }

    // 424 quarter-hour bars from 2025/07/05 charted on the page shown.
    PriceChartView* showChartOfFourDays() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 5), QTime(0, 15)), 424, 15);
        page->drawChart();
        showPage();
        return page->chartView();
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(10, 30)));
    }
    void cleanupTestCase() { Clock::release(); }

    void init() {
        dir = std::make_unique<TestFolder>();
        dialogs = std::make_unique<TestDialogs>();
        session = std::make_unique<Session>(*dialogs, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        page = std::make_unique<ForecastPage>(*session, *dialogs);
    }

    void cleanup() {
        page.reset();
        session.reset();
        dir.reset();
    }

    void layoutBeforeTheFirstImport() {
        QCOMPARE(text(QStringLiteral("a11ttL")), QStringLiteral("1 FX予測 ﾄﾞﾙ円特化"));
        QCOMPARE(page->header()->height(), 80);
        QCOMPARE(page->footer()->height(), 150);
        auto* button = child<QPushButton>(QStringLiteral("a13rdtB"));
        QCOMPARE(button->text(), QStringLiteral("FX読込"));
        QCOMPARE(button->geometry(), QRect(288, 8, 100, 25));
        auto* days = child<QLineEdit>(QStringLiteral("a15dE"));
        QCOMPARE(days->text(), QStringLiteral("3"));
        QCOMPARE(days->pos(), QPoint(600, 8));
        QCOMPARE(days->width(), 60);
        QCOMPARE(text(QStringLiteral("a14crL")), QStringLiteral("日前から表示"));
        QCOMPARE(text(QStringLiteral("a12ifL")), QString());
        for (const char* name :
             {"a1013ztvL", "a1015atvL", "a1017stvL", "a1023zcvL", "a1025acvL", "a1027scvL",
              "a1033zlvL", "a1035alvL", "a1037slvL", "a1043rvL", "a1045uvL"})
            QCOMPARE(text(QLatin1String(name)), QString());
        QCOMPARE(text(QStringLiteral("a1012zttL")), QStringLiteral("最終高値:"));
        QCOMPARE(text(QStringLiteral("a1014aftL")), QStringLiteral("10ｺﾏ後値:"));
        QCOMPARE(text(QStringLiteral("a1016satL")), QStringLiteral("差額:"));
        QCOMPARE(text(QStringLiteral("a1051ifL")),
                 QStringLiteral("3 ｲﾍﾞﾝﾄ情報(参考): 5.ｲﾍﾞﾝﾄﾍﾟｰｼﾞ参照"));
        for (const char* name : {"a1013ztvL", "a1023zcvL", "a1033zlvL"})
            QCOMPARE(child(QLatin1String(name))->x(), 200);
        for (const char* name : {"a1015atvL", "a1025acvL", "a1035alvL"})
            QCOMPARE(child(QLatin1String(name))->x(), 416);
        for (const char* name : {"a1017stvL", "a1027scvL", "a1037slvL"})
            QCOMPARE(child(QLatin1String(name))->x(), 600);

        QVERIFY(page->findChild<QChartView*>(QStringLiteral("aCht")));
        QChart* chart = page->chart();
        QCOMPARE(chart->title(), QStringLiteral("20日間FX価格推移+終値予測10ｺﾏ"));
        QCOMPARE(chart->titleFont().pixelSize(), 22);
        const QStringList names{"終値", "高値", "安値", "75MA", "1H足MA", "4H足MA", "日足MA"};
        const QList<QColor> colours{QColor(0x00FF40), QColor(0xF39C35), QColor(0xF14C14),
                                    QColor(0x4E97A8), QColor(0x2B406B), QColor(0x1D7B63),
                                    QColor(0xB3080E)};
        const QStringList objectNames{"S1CL", "S2HV", "S3LV", "S4M75", "S5M1H", "S6M4H", "S7M1D"};
        QCOMPARE(chart->series().size(), 7);
        for (int i = 0; i < 7; ++i) {
            QLineSeries* s = page->series(i);
            QCOMPARE(chart->series().at(i), s);
            QCOMPARE(s->objectName(), objectNames[i]);
            QCOMPARE(s->name(), names[i]);
            QCOMPARE(s->pen().color(), colours[i]);
            QCOMPARE(s->pen().width(), i == 0 ? 5 : 1);
            QVERIFY(!s->pointsVisible());
            QCOMPARE(s->count(), 0);
        }
        // An empty chart: no dates of 1970, no prices, no last bar.
        for (QAbstractAxis* axis : chart->axes())
            QVERIFY(!axis->labelsVisible());
        QVERIFY(!page->chartView()->lastBarMarker()->isVisible());
        QCOMPARE(page->chartView()->imageName(), QStringLiteral("FX予測.png"));
    }

    void importHintFollowsTheButtonsFocus() {
        showPage();
        auto* button = child<QPushButton>(QStringLiteral("a13rdtB"));
        auto* days = child<QLineEdit>(QStringLiteral("a15dE"));
        const QString hint = QStringLiteral("FXﾃﾞｰﾀを現行化してFX読込ﾎﾞﾀﾝをｸﾘｯｸしてください");
        button->setFocus();
        QCOMPARE(text(QStringLiteral("a12ifL")), hint);
        // The day count is next in tab order.
        QTest::keyClick(button, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), days);
        QCOMPARE(text(QStringLiteral("a12ifL")), QString());
        button->setFocus();
        QCOMPARE(text(QStringLiteral("a12ifL")), hint);
    }

    // The import's message boxes and a return to the window are no focus moves between
    // controls: the import's text stays in a12ifL.
    void importTextOutlivesTheBoxes() {
        BoxDialogs boxes;
        page.reset();
        session = std::make_unique<Session>(boxes, QStringLiteral(TORVANE_SOURCE_DIR "/data"));
        page = std::make_unique<ForecastPage>(*session, boxes);
        session->openDatabases();
        boxes.clear();
        NetworkPage network;
        connectForecastPages(*session, *page, network);
        session->forecastEveryImport(TrainingJobs::Run::here);
        session->forecast.seed = 1;
        connect(page.get(), &ForecastPage::importRequested, this,
                [this] { session->prices.a13rdtBClick(); });
        QStringList lines;
        for (int i = 0; i < 30; ++i) {
            const QDateTime s(QDate(2025, 7, 8), QTime(8, 0).addSecs(i * 900));
            const QDateTime e = s.addSecs(900);
            lines << QStringLiteral("%1,%2,150.000,150.%3,149.900,150.0%4,%5,%6")
                         .arg(s.toString(QStringLiteral("yyyy/MM/dd")),
                              s.toString(QStringLiteral("HH:mm")))
                         .arg(100 + i)
                         .arg(10 + i)
                         .arg(e.toString(QStringLiteral("yyyy/MM/dd")),
                              e.toString(QStringLiteral("HH:mm")));
        }
        QFile file(dir->filePath(QStringLiteral("P.CSV")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join(QStringLiteral("\r\n")).toLatin1());
        file.close();
        boxes.fileToOpen = file.fileName();
        showPage();
        auto* button = child<QPushButton>(QStringLiteral("a13rdtB"));
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        QTest::keyClick(button, Qt::Key_Space);
        QVERIFY2(boxes.errors.isEmpty(), qPrintable(boxes.errors.join(u'|')));
        QVERIFY2(boxes.messages.size() == 3, qPrintable(boxes.messages.join(u'|')));
        QCOMPARE(text(QStringLiteral("a12ifL")), QStringLiteral("結果は 4.FX表に表示されます"));
        // Leaving the button for another control still clears it.
        QTest::keyClick(button, Qt::Key_Tab);
        QCOMPARE(text(QStringLiteral("a12ifL")), QString());
        page.reset();
        session.reset();
    }

    void importButtonAsksForTheImport() {
        QSignalSpy spy(page.get(), &ForecastPage::importRequested);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("a13rdtB")), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
    }

    void dayCountSteps_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("after");
        QTest::newRow("20 up wraps") << "20" << int(Qt::Key_Up) << "01";
        QTest::newRow("01 down wraps") << "01" << int(Qt::Key_Down) << "20";
        QTest::newRow("9 up") << "9" << int(Qt::Key_Up) << "10";
        QTest::newRow("10 down") << "10" << int(Qt::Key_Down) << "09";
        QTest::newRow("empty counts as 1") << "" << int(Qt::Key_Up) << "02";
        QTest::newRow("other keys type") << "3" << int(Qt::Key_4) << "34";
    }
    void dayCountSteps() {
        QFETCH(QString, before);
        QFETCH(int, key);
        QFETCH(QString, after);
        auto* days = child<QLineEdit>(QStringLiteral("a15dE"));
        days->setText(before);
        QTest::keyClick(days, Qt::Key(key));
        QCOMPARE(days->text(), after);
        QVERIFY(dialogs->errors.isEmpty());
    }

    void unreadableDayCountIsReportedAndKept() {
        auto* days = child<QLineEdit>(QStringLiteral("a15dE"));
        days->setText(QStringLiteral("x"));
        QTest::keyClick(days, Qt::Key_Up);
        QCOMPARE(days->text(), QStringLiteral("x"));
        QCOMPARE(dialogs->errors.size(), 1);
    }

    void chartShowsTheLastDaysAndTheForecast() {
        openSession();
        fillPriceTable(*session, QDateTime(QDate(2025, 7, 5), QTime(0, 15)), 424, 15);
        QSqlQuery(session->dm.database(session->dm.csm()))
            .exec(QStringLiteral("update F01YSK set CV = 150000, HV = 150100, LV = 149900 "
                                 "where CNT > 424"));
        page->drawChart();

        QChart* chart = page->chart();
        QCOMPARE(chart->title(), QStringLiteral("3 日間FX価格+予測10ｺﾏ ﾁｬｰﾄ"));
        QCOMPARE(chart->titleFont().pointSize(), 14);
        QVERIFY(chart->legend()->isVisible());
        auto* axisX = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0));
        QVERIFY(axisX);
        QCOMPARE(axisX->format(), QStringLiteral("yyyy/MM/dd hh:mm"));
        auto* axisY = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
        QVERIFY(axisY);
        QCOMPARE(axisY->titleText(), QStringLiteral("(円)"));
        QVERIFY(axisY->isTitleVisible());

        const QDateTime lastBar(QDate(2025, 7, 9), QTime(10, 0));
        const QDateTime lastSlot(QDate(2025, 7, 9), QTime(12, 30));
        for (int i = 0; i < 7; ++i) {
            const QList<QPointF> points = page->series(i)->points();
            QCOMPARE(points.size(), i < 3 ? 242 : 232);
            QCOMPARE(qint64(points.last().x()), (i < 3 ? lastSlot : lastBar).toMSecsSinceEpoch());
            for (const QPointF& p : points)
                QVERIFY(p.y() > 0);
        }
        QCOMPARE(page->series(0)->points().last().y(), 150000.0);
        QVERIFY(axisX->min() <= QDateTime(QDate(2025, 7, 7), QTime(0, 15)));
        QVERIFY(axisX->max() >= lastSlot);
        for (QAbstractAxis* axis : chart->axes())
            QVERIFY(axis->labelsVisible());

        // A line at the end of the last real bar sets the ten forecast bars apart.
        const QGraphicsLineItem* marker = page->chartView()->lastBarMarker();
        QVERIFY(marker->isVisible());
        const QPointF at = chart->mapToScene(chart->mapToPosition(
            QPointF(double(lastBar.toMSecsSinceEpoch()), axisY->min())));
        QCOMPARE(marker->line().x1(), at.x());
        QCOMPARE(marker->line().x2(), at.x());
        QCOMPARE(marker->line().y1(), chart->mapToScene(chart->plotArea().topLeft()).y());

        // A day count that is no number leaves the chart as it was.
        child<QLineEdit>(QStringLiteral("a15dE"))->setText(QStringLiteral("x"));
        QVERIFY_THROWS_EXCEPTION(TorvaneError, page->drawChart());
        QCOMPARE(page->series(0)->count(), 242);
        QCOMPARE(chart->title(), QStringLiteral("3 日間FX価格+予測10ｺﾏ ﾁｬｰﾄ"));

        // Hovering a line names the bar's end and its price.
        const QPointF near(QDateTime(QDate(2025, 7, 9), QTime(12, 27)).toMSecsSinceEpoch(), 1);
        Q_EMIT page->series(0)->hovered(near, true);
        auto* view = page->findChild<QChartView*>(QStringLiteral("aCht"));
        QCOMPARE(view->toolTip(), QStringLiteral("2025/07/09 12:30  終値: 150000"));
        Q_EMIT page->series(0)->hovered(near, false);
        QCOMPARE(view->toolTip(), QString());
    }

    // Wheel, drag, double-click and the crosshair through real mouse events on the viewport.
    void chartToolsZoomPanAndReset() {
        PriceChartView* view = showChartOfFourDays();
        QWidget* viewport = view->viewport();
        auto* axisX = qobject_cast<QDateTimeAxis*>(page->chart()->axes(Qt::Horizontal).value(0));
        const auto range = [axisX] {
            return std::pair<qint64, qint64>(axisX->min().toMSecsSinceEpoch(),
                                             axisX->max().toMSecsSinceEpoch());
        };
        const auto full = range();
        const QString title = page->chart()->title();
        QList<QPen> pens;
        for (int i = 0; i < 7; ++i)
            pens << page->series(i)->pen();

        const QRectF plot = page->chart()->plotArea();
        const QPoint middle = plot.center().toPoint();
        const auto timeAt = [&](const QPoint& p) {
            const auto [min, max] = range();
            return min + qint64((max - min) * (p.x() - plot.left()) / plot.width());
        };

        // Zooming in around a point keeps the time under the mouse.
        // The price axis spans the bars in view, with a small margin.
        auto* axisY = qobject_cast<QValueAxis*>(page->chart()->axes(Qt::Vertical).value(0));
        const auto fitted = [&] {
            const auto [from, to] = range();
            qreal low = 1e18, high = -1e18;
            for (int i = 0; i < 7; ++i)
                for (const QPointF& p : page->series(i)->points())
                    if (p.x() >= qreal(from) && p.x() <= qreal(to)) {
                        low = std::min(low, p.y());
                        high = std::max(high, p.y());
                    }
            return axisY->min() <= low && axisY->max() >= high &&
                   axisY->max() - axisY->min() <= (high - low) * 1.1 + 2.01;
        };
        QVERIFY(fitted());
        const qreal allPrices = axisY->max() - axisY->min();
        const QPoint quarter(int(plot.left() + plot.width() / 4), middle.y());
        const qint64 before = timeAt(quarter);
        QWheelEvent in(quarter, viewport->mapToGlobal(quarter), QPoint(), QPoint(0, 240),
                       Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &in);
        const auto zoomed = range();
        QVERIFY(zoomed.second - zoomed.first < (full.second - full.first) * 0.7);
        QVERIFY(qAbs(timeAt(quarter) - before) < 60 * 1000);
        QVERIFY(!view->crosshairText().isEmpty());
        QVERIFY(fitted());
        QVERIFY(axisY->max() - axisY->min() < allPrices);

        // Dragging to the right shows earlier bars, by the dragged share of the range.
        QTest::mousePress(viewport, Qt::LeftButton, {}, middle);
        const QPoint right = middle + QPoint(int(plot.width() / 10), 0);
        QMouseEvent drag(QEvent::MouseMove, right, viewport->mapToGlobal(right), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drag);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, right);
        const auto panned = range();
        const qint64 span = zoomed.second - zoomed.first;
        QCOMPARE(panned.second - panned.first, span);
        QVERIFY(qAbs((zoomed.first - panned.first) - span / 10) < span / 50);
        QVERIFY(fitted());

        // Never beyond the first bar, however far it is dragged.
        for (int i = 0; i < 20; ++i) {
            QTest::mousePress(viewport, Qt::LeftButton, {}, middle);
            QMouseEvent far(QEvent::MouseMove, right, viewport->mapToGlobal(right), Qt::NoButton,
                            Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &far);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, right);
        }
        QCOMPARE(range().first, full.first);
        QCOMPARE(range().second - range().first, span);
        QVERIFY(fitted());
        // The last bar is out of view, and its line with it.
        QVERIFY(!view->lastBarMarker()->isVisible());

        // Zooming out stops at every bar; a double-click shows every bar at once.
        QWheelEvent out(middle, viewport->mapToGlobal(middle), QPoint(), QPoint(0, -120 * 30),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &out);
        QCOMPARE(range(), full);
        QApplication::sendEvent(viewport, &in);
        QVERIFY(range() != full);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, middle);
        QCOMPARE(range(), full);
        QVERIFY(fitted());
        QCOMPARE(axisY->max() - axisY->min(), allPrices);
        QVERIFY(view->lastBarMarker()->isVisible());

        // The series, their colours and the title stay as drawn.
        QCOMPARE(page->chart()->title(), title);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(page->series(i)->pen(), pens[i]);
        QCOMPARE(page->chart()->series().size(), 7);
    }

    void crosshairNamesTimeAndPriceUnderTheMouse() {
        PriceChartView* view = showChartOfFourDays();
        QWidget* viewport = view->viewport();
        QVERIFY(view->crosshairText().isEmpty());
        const QRectF plot = page->chart()->plotArea();
        const QPoint at(int(plot.left() + plot.width() * 0.75),
                        int(plot.top() + plot.height() / 4));
        const auto move = [viewport](const QPoint& p) {
            QMouseEvent event(QEvent::MouseMove, p, viewport->mapToGlobal(p), Qt::NoButton,
                              Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        };
        move(at);
        QVERIFY(!view->crosshairText().isEmpty());

        auto* axisX = qobject_cast<QDateTimeAxis*>(page->chart()->axes(Qt::Horizontal).value(0));
        auto* axisY = qobject_cast<QValueAxis*>(page->chart()->axes(Qt::Vertical).value(0));
        const qint64 min = axisX->min().toMSecsSinceEpoch(), max = axisX->max().toMSecsSinceEpoch();
        const QDateTime time = QDateTime::fromMSecsSinceEpoch(
            min + qint64((max - min) * (at.x() - plot.left()) / plot.width()));
        const double price =
            axisY->max() - (axisY->max() - axisY->min()) * (at.y() - plot.top()) / plot.height();
        const QStringList parts = view->crosshairText().split(QStringLiteral("  "));
        QCOMPARE(parts.size(), 2);
        const QDateTime shown = QDateTime::fromString(parts[0], QStringLiteral("yyyy/MM/dd hh:mm"));
        QVERIFY2(qAbs(shown.secsTo(time)) <= 30 * 60, qPrintable(parts[0]));
        QVERIFY2(qAbs(parts[1].toDouble() - price) <= (axisY->max() - axisY->min()) / 50,
                 qPrintable(parts[1]));

        // Outside the plot, and once the mouse has left, there is none.
        move(QPoint(2, 2));
        QVERIFY(view->crosshairText().isEmpty());
        move(at);
        QVERIFY(!view->crosshairText().isEmpty());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view, &leave);
        QVERIFY(view->crosshairText().isEmpty());
    }

    void chartSavedAsImage() {
        PriceChartView* view = showChartOfFourDays();
        QAction* save = view->saveImageAction();
        QCOMPARE(save->text(), QStringLiteral("画像として保存"));
        QVERIFY(view->actions().contains(save));

        // Cancelled: nothing written. The name offered carries the last bar's date and time.
        dialogs->fileToSave.clear();
        save->trigger();
        QVERIFY(QDir(dir->path()).entryList({QStringLiteral("*.png")}).isEmpty());
        QCOMPARE(dialogs->suggestedNames, QStringList{QStringLiteral("FX予測_20250709_1000.png")});

        // The context menu shows the caption whole, with room to spare.
        bool offered = false;
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            const QFontMetrics metrics(menu->font());
            offered = menu->actions() == QList<QAction*>{save} &&
                      menu->actionGeometry(save).width() >=
                          metrics.horizontalAdvance(save->text()) + 2 * metrics.height();
            menu->close();
        });
        const QPoint inside = view->viewport()->rect().center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, inside,
                                    view->viewport()->mapToGlobal(inside));
        QApplication::sendEvent(view->viewport(), &menuEvent);
        QVERIFY(offered);

        // A name without suffix gets .png; the image is the chart as shown.
        dialogs->fileToSave = dir->filePath(QStringLiteral("chart"));
        save->trigger();
        QImage image(dir->filePath(QStringLiteral("chart.png")));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), view->size() * view->devicePixelRatio());
        QVERIFY(dialogs->errors.isEmpty());
    }

    // The image goes where any output of the program may go, and nowhere else: never over the
    // database or its journal, never in place of a pipe, device or folder; a write that fails
    // keeps the old file and names the system's reason.
    void chartImageTargets_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("words");
        const QString database = QStringLiteral("はデータベースのファイル SQDB.DB");
        const QString special = QStringLiteral("は通常のファイルではないので書けません");
        QTest::newRow("the database") << "SQDB.DB" << database;
        QTest::newRow("its journal") << "SQDB.DB-journal"
                                     << "はデータベースのファイル SQDB.DB-journal";
        QTest::newRow("a link to the database") << "LINK.png" << database;
        QTest::newRow("a FIFO") << "FIFO.png" << special;
        QTest::newRow("a folder") << "FOLDER.png" << special;
        QTest::newRow("a device") << "DEVICE.png" << special;
        QTest::newRow("a missing folder") << "missing/chart.png"
                                          << "フォルダがありません";
        QTest::newRow("a file-size limit")
            << "OLD.png"
            << "に書き込めません。元のファイルはそのままです: ファイルが大きすぎます";
    }
    void chartImageTargets() {
        QFETCH(QString, target);
        QFETCH(QString, words);
        PriceChartView* view = showChartOfFourDays();
        const auto path = [&](const QString& name) { return dir->filePath(name); };
        QVERIFY(QFile::link(path(QStringLiteral("SQDB.DB")), path(QStringLiteral("LINK.png"))));
        QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("FIFO.png"))).constData(), 0600),
                 0);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("FOLDER.png")));
        if (target == QLatin1String("DEVICE.png") &&
            ::mknod(QFile::encodeName(path(target)).constData(), S_IFCHR | 0600, makedev(1, 3)) !=
                0)
            QSKIP("cannot make a device node here (needs root)");
        {
            QFile old(path(QStringLiteral("OLD.png")));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the image saved last time");
        }
        const auto bytes = [&](const QString& name) {
            QFile f(path(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray database = bytes(QStringLiteral("SQDB.DB"));
        const QStringList before = QDir(dir->path()).entryList(QDir::AllEntries | QDir::System);

        dialogs->fileToSave = path(target);
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (target == QLatin1String("OLD.png"))
                limit = std::make_unique<FileSizeLimit>(1024);
            view->saveImageAction()->trigger();
        }
        QCOMPARE(dialogs->errors.size(), 1);
        QVERIFY2(dialogs->errors[0].contains(words) && dialogs->errors[0].contains(target),
                 qPrintable(dialogs->errors[0]));
        QCOMPARE(bytes(QStringLiteral("SQDB.DB")), database);
        QCOMPARE(bytes(QStringLiteral("OLD.png")), QByteArray("the image saved last time"));
        QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::System), before);
        QVERIFY(!QFileInfo(path(QStringLiteral("FIFO.png"))).isFile());
        QVERIFY(QFileInfo(path(QStringLiteral("FOLDER.png"))).isDir());
        QVERIFY(!QFileInfo(path(QStringLiteral("DEVICE.png"))).isFile());
    }

    // Pages connect to the forecast with themselves as the context: pages deleted while a
    // training is out are not called when it comes back, and the forecast still completes.
    void pagesDeletedDuringATrainingAreNotCalled() {
        openSession();
        auto network = std::make_unique<NetworkPage>();
        connectForecastPages(*session, *page, *network);
        session->forecast.setRun(TrainingJobs::Run::offThread);
        session->forecast.seed = 6;
        fillPriceTable(*session, QDateTime(QDate(2025, 6, 1), QTime(0, 5)), 20000);
        int summaries = 0;
        QObject heard;
        connect(&session->forecast, &Forecaster::summaryShown, &heard, [&] { ++summaries; });
        session->forecast.uq1K(Forecaster::forecastTrain);
        QVERIFY(session->forecast.training());
        page.reset();
        network.reset();
        QVERIFY(jobsEnded(*session));
        QCOMPARE(summaries, 1);
        QCOMPARE(dialogs->messages.last(), QStringLiteral("学習終了 ｸﾞﾗﾌ表示します"));
        QVERIFY(dialogs->errors.isEmpty());
    }

    void trainingFillsBothPages() {
        openSession();
        NetworkPage network;
        network.resize(896, 562);
        network.show();
        QVERIFY(QTest::qWaitForWindowExposed(&network));
        connectForecastPages(*session, *page, network);
        auto* mse = network.findChild<QLabel*>(QStringLiteral("c02ms2L"));
        QCOMPARE(mse->text(), QString());
        QVERIFY(network.image()->imageRect().isEmpty());

        fillPriceTable(*session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 24);
        auto* bar = child<QProgressBar>(QStringLiteral("a16pgsBar"));
        QList<bool> barShown;
        // After the page's own connection: the bar as the page has just set it.
        connect(&session->forecast, &Forecaster::progressed, this,
                [&] { barShown << !bar->isHidden(); });
        session->forecast.seed = 4;
        session->forecast.uq1K(Forecaster::forecastTrain);

        const ForecastSummary& s = session->forecast.summary();
        QCOMPARE(text(QStringLiteral("a1013ztvL")), s.lastHigh);
        QCOMPARE(text(QStringLiteral("a1015atvL")), s.forecastHigh);
        QCOMPARE(text(QStringLiteral("a1017stvL")), s.highDiff);
        QCOMPARE(text(QStringLiteral("a1023zcvL")), s.lastClose);
        QCOMPARE(text(QStringLiteral("a1025acvL")), s.forecastClose);
        QCOMPARE(text(QStringLiteral("a1027scvL")), s.closeDiff);
        QCOMPARE(text(QStringLiteral("a1033zlvL")), s.lastLow);
        QCOMPARE(text(QStringLiteral("a1035alvL")), s.forecastLow);
        QCOMPARE(text(QStringLiteral("a1037slvL")), s.lowDiff);
        QVERIFY(!s.lastHigh.isEmpty() && !s.highDiff.isEmpty());
        QCOMPARE(mse->text(), s.mseText);
        QCOMPARE(network.image()->imageRect(), QRect(0, 0, 400, 200));
        QCOMPARE(page->series(0)->count(), 24 + 10);
        QVERIFY(barShown.first());
        QVERIFY(!barShown.last());
        QCOMPARE(dialogs->messages.last(), QStringLiteral("学習終了 ｸﾞﾗﾌ表示します"));

        // A narrow page shows the diagram smaller, still at the top-left corner.
        network.resize(300, 562);
        QCOMPARE(network.image()->imageRect(), QRect(0, 0, 300, 150));
    }
};

QTEST_MAIN(TestForecastPage)
#include "test_forecastpage.moc"
