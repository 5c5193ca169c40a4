#include "app/MainWindow.h"

#include "analysis/AnalysisPage.h"
#include "analysis/BacktestPage.h"
#include "app/TorvaneApplication.h"
#include "app/UserGuide.h"
#include "browser/BrowserPage.h"
#include "csv/CsvPage.h"
#include "forecast/ForecastPage.h"
#include "forecast/NetworkPage.h"
#include "prices/FxTablePage.h"
#include "records/EventListPage.h"
#include "records/EventRecordPage.h"
#include "records/ProForecastPage.h"
#include "store/KeptSettings.h"
#include "ui/PageControl.h"
#include "ui/PageFrame.h"
#include "ui/UserAction.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

TKestoF::TKestoF(QWidget* parent)
    : QWidget(parent), m_qtDialogs(this), m_dialogs(m_qtDialogs), m_session(m_dialogs) {
    build();
}

TKestoF::TKestoF(Dialogs& dialogs, const QString& catalogueDir, QWidget* parent)
    : QWidget(parent), m_qtDialogs(this), m_dialogs(dialogs), m_session(m_dialogs, catalogueDir) {
    build();
}

TKestoF::~TKestoF() {
    if (auto* app = qobject_cast<TorvaneApplication*>(QCoreApplication::instance());
        app && app->errorReport() == &m_dialogs)
        app->setErrorReport(nullptr);
    FormDestroy();
    // The pages use the session, which goes before QWidget deletes its children.
    delete pc;
    pc = nullptr;
}

void TKestoF::build() {
    setObjectName(QStringLiteral("KestoF"));
    setWindowTitle(QStringLiteral("Torvane"));
    setGeometry(190, 120, 904, 641);
    // Errors that end a user action are reported through the window's dialogs.
    if (auto* app = qobject_cast<TorvaneApplication*>(QCoreApplication::instance()))
        app->setErrorReport(&m_dialogs);

    pc = new PageControl(this);
    pc->setObjectName(QStringLiteral("pc"));

    z0P = new QWidget(this);
    z0P->setObjectName(QStringLiteral("z0P"));
    z0P->setFixedHeight(40);
    // Caption only: at 120 pixels a close glyph beside it would push the caption out.
    z0bB = new QPushButton(QStringLiteral("閉じる(&C)"), z0P);
    z0bB->setObjectName(QStringLiteral("z0bB"));
    z0bB->setFixedSize(120, 25);
    // The accelerator's underline and the parentheses reach below the other captions: a size
    // smaller keeps them inside the 25-pixel frame.
    QFont closeFont = z0bB->font();
    closeFont.setPixelSize(20);
    z0bB->setFont(closeFont);
    // Enter on a focused button presses it, as on every button of the window.
    z0bB->setAutoDefault(true);
    connect(z0bB, &QPushButton::clicked, this, &QWidget::close);
    // Left 728, top 8 at the designed width; it keeps its distance from the right edge.
    auto* bottom = new QHBoxLayout(z0P);
    bottom->setContentsMargins(0, 8, 904 - 728 - 120, 40 - 8 - 25);
    bottom->addStretch(1);
    bottom->addWidget(z0bB, 0, Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pc, 1);
    layout->addWidget(z0P);

    createAts();
    createBts();
    createCts();
    createDts();
    createEts();
    createFts();
    createGts();
    createIts();
    createJts();
    createKts();
    addPage(ats, QStringLiteral("ats"), QStringLiteral("1予測"));
    addPage(bts, QStringLiteral("bts"), QStringLiteral("2ﾌﾟﾛ目"));
    addPage(cts, QStringLiteral("cts"), QStringLiteral("3機学"));
    addPage(dts, QStringLiteral("dts"), QStringLiteral("4FX表"));
    addPage(ets, QStringLiteral("ets"), QStringLiteral("5ｲﾍﾞﾝﾄ"));
    addPage(fts, QStringLiteral("fts"), QStringLiteral("6EV表"));
    addPage(gts, QStringLiteral("gts"), QStringLiteral("7ﾌﾞﾗｳｻﾞ"));
    addPage(its, QStringLiteral("its"), QStringLiteral("8CSV"));
    addPage(jts, QStringLiteral("jts"), QStringLiteral("9分析"));
    addPage(kts, QStringLiteral("kts"), QStringLiteral("10検証"));
    connectPages();
    pc->setCurrentWidget(gts);
    restoreSession();
}

void TKestoF::restoreSession() {
    // What the user left at the last close; the designed place and size otherwise.
    if (const QByteArray geometry = KeptSettings::value(KeptSettings::windowGeometry).toByteArray();
        !geometry.isEmpty())
        restoreGeometry(geometry);
    const QString days = KeptSettings::value(KeptSettings::chartDays).toString();
    bool whole = false;
    days.toInt(&whole);
    if (auto* a15dE = ats->findChild<QLineEdit*>(QStringLiteral("a15dE")); a15dE && whole)
        a15dE->setText(days);
}

void TKestoF::keepSession() {
    KeptSettings::setValue(KeptSettings::windowGeometry, saveGeometry());
    if (auto* a15dE = ats->findChild<QLineEdit*>(QStringLiteral("a15dE")))
        KeptSettings::setValue(KeptSettings::chartDays, a15dE->text());
}

void TKestoF::connectPages() {
    // The window trains off its thread and goes on answering meanwhile.
    m_session.forecastEveryImport(TrainingJobs::Run::offThread);
    // The backtest leaves one core to the window, which goes on answering while folds train.
    m_session.backtest.setJobs(std::max(1, QThread::idealThreadCount() - 1));
    connectForecastPages(m_session, *ats, *cts);
    // Each of these enters the core for a user action: import, train and chart, or a page.
    connect(ats, &ForecastPage::importRequested, this, [this] {
        if (m_session.refusesWhileBusy(QStringLiteral("読み込めません")))
            return;
        runAction(m_dialogs, [this] { m_session.prices.a13rdtBClick(); });
    });
    connect(&m_session.prices, &PriceImport::importShown, dts, &FxTablePage::setImportInfo);
    // Queued: the drop ends, and the program that started the drag carries on, before the
    // import's message boxes.
    connect(
        ats, &ForecastPage::fileDropped, this,
        [this](const QString& path) {
            if (m_session.refusesWhileBusy(QStringLiteral("読み込めません")))
                return;
            runAction(m_dialogs, [this, path] { m_session.prices.importFile(path); });
        },
        Qt::QueuedConnection);
    auto* guide = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(guide, &QShortcut::activated, this, [this] {
        if (!showUserGuide(this))
            m_dialogs.error(QStringLiteral("利用の手引き guide.md が見つかりません"));
    });
    gts->setTargets(&m_browserTargets);
    connect(bts, &ProForecastPage::opinionBrowserRequested, gts,
            [this] { runAction(m_dialogs, [this] { gts->openForProOpinion(); }); });
    connect(bts, &ProForecastPage::opinionRegistered, ats, &ForecastPage::setOpinion);
    connect(ets, &EventRecordPage::eventBrowserRequested, gts,
            [this] { runAction(m_dialogs, [this] { gts->openEventPage(); }); });
    // The track record follows every import, logged forecast and register write.
    connect(&m_session.analysis, &Analysis::changed, jts, &AnalysisPage::refresh);
    for (RecordEditor* editor :
         {bts->editor(), ets->editor(), fts->listEditor(), fts->categoryEditor()})
        connect(editor, &RecordEditor::rowWritten, jts, &AnalysisPage::refresh);
    connect(its, &CsvPage::tableWritten, jts, &AnalysisPage::refresh);
    // The live record set against the backtest follows the scoring of logged forecasts.
    connect(&m_session.analysis, &Analysis::changed, kts, &BacktestPage::refreshRecord);
    connectRegisterRefresh();
}

void TKestoF::connectRegisterRefresh() {
    struct View {
        QWidget* page;
        RecordEditor* editor;
    };
    const QVector<View> views{{bts, bts->editor()},
                              {ets, ets->editor()},
                              {fts, fts->listEditor()},
                              {fts, fts->categoryEditor()}};
    // Shared by the connections below, which live as long as the pages.
    auto stale = std::make_shared<QSet<RecordEditor*>>();
    const auto markOthers = [views, stale](const QWidget* writtenOn) {
        for (const View& v : views)
            if (v.page != writtenOn)
                stale->insert(v.editor);
    };
    connect(its, &CsvPage::tableWritten, this, [markOthers] { markOthers(nullptr); });
    for (const View& v : views)
        connect(v.editor, &RecordEditor::rowWritten, this,
                [markOthers, page = v.page] { markOthers(page); });
    connect(pc, &QTabWidget::currentChanged, this, [this, views, stale] {
        for (const View& v : views)
            if (v.page == pc->currentWidget() && stale->remove(v.editor))
                runAction(m_dialogs, [editor = v.editor] { editor->reread(); });
    });
}

void TKestoF::addPage(PageFrame* page, const QString& name, const QString& caption) {
    page->setObjectName(name);
    pc->addTab(page, caption);
}

void TKestoF::createAts() {
    ats = new ForecastPage(m_session, m_dialogs, pc);
}

void TKestoF::createBts() {
    bts = new ProForecastPage(m_session, m_dialogs, pc);
}

void TKestoF::createCts() {
    cts = new NetworkPage(pc);
}

void TKestoF::createDts() {
    dts = new FxTablePage(m_session, m_dialogs, pc);
}

void TKestoF::createEts() {
    ets = new EventRecordPage(m_session, m_dialogs, pc);
}

void TKestoF::createFts() {
    fts = new EventListPage(m_session, m_dialogs, pc);
}

void TKestoF::createGts() {
    gts = new BrowserPage(m_session, m_dialogs, pc);
}

void TKestoF::createIts() {
    its = new CsvPage(m_session, m_dialogs, pc);
}

void TKestoF::createJts() {
    jts = new AnalysisPage(m_session, m_dialogs, pc);
}

void TKestoF::createKts() {
    kts = new BacktestPage(m_session, m_dialogs, pc);
}

void TKestoF::closeEvent(QCloseEvent* event) {
    // A job works on the session's tables until it has ended; shutting the program down
    // otherwise stops it and waits for it.
    if (m_session.refusesWhileBusy(QStringLiteral("閉じられません"))) {
        event->ignore();
        return;
    }
    keepSession();
    QWidget::closeEvent(event);
}

bool TKestoF::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate)
        runAction(m_dialogs, [this] { FormActivate(); });
    return handled;
}

void TKestoF::FormActivate() {
    if (m_startupRan)
        return;
    // Marked before anything can fail: a failed start-up is not tried again.
    m_startupRan = true;
    m_session.openDatabases();
    uc1IN();
    pc->setCurrentWidget(ats);
    // Looked up by name: the button belongs to the forecast page.
    if (auto* import = ats->findChild<QWidget*>(QStringLiteral("a13rdtB")))
        import->setFocus(Qt::OtherFocusReason);
}

void TKestoF::clearLabels(QWidget* page, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (auto* label = page->findChild<QLabel*>(QLatin1String(name)))
            label->clear();
}

void TKestoF::uc1IN() {
    // Page 1: the information line, the forecast summary and the latest professional opinion.
    clearLabels(ats, {"a12ifL", "a1013ztvL", "a1015atvL", "a1017stvL", "a1023zcvL", "a1025acvL",
                      "a1027scvL", "a1033zlvL", "a1035alvL", "a1037slvL", "a1043rvL", "a1045uvL"});
    bts->uq2MF(RecordEditor::runOpen);
    bts->uq2MF(RecordEditor::runReset);
    // Page 3: the network's error value.
    clearLabels(cts, {"c02ms2L"});
    ets->uq5R(RecordEditor::runOpen);
    ets->uq5R(RecordEditor::runReset);
    fts->uq61L(RecordEditor::runOpen);
    fts->uq61L(RecordEditor::runReset);
    fts->uq62K(RecordEditor::runOpen);
    fts->uq62K(RecordEditor::runReset);
    gts->uq7B(BrowserPage::browseClear);
    its->uq8C(CsvExchange::csvOpenList);
    jts->refresh();
}

void TKestoF::FormDestroy() {
    m_session.forecast.releaseNetwork();
}
