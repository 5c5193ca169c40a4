#include "app/MainWindow.h"
#include "app/TorvaneApplication.h"
#include "browser/BrowserPage.h"
#include "forecast/ForecastPage.h"
#include "prices/PriceImport.h"
#include "records/RecordEditor.h"
#include "store/Clock.h"
#include "store/KeptSettings.h"
#include "store/TorvaneError.h"
#include "support/PriceTable.h"
#include "support/SessionJobs.h"
#include "support/TemplateDatabase.h"
#include "support/TestDialogs.h"
#include "support/TestFolder.h"
#include "support/TestSettings.h"
#include "ui/KeyDown.h"
#include "ui/Look.h"
#include "ui/PageFrame.h"
#include "ui/QtDialogs.h"
#include "ui/UserAction.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <new>
#include <stdexcept>

namespace {

// A line edit that records the keys it handles itself, after any key-down handler.
class RecordingEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!QList<int>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt}.contains(event->key()))
            keys << event->key();
        QLineEdit::keyPressEvent(event);
    }
};

struct Page {
    const char* name;
    const char* caption;
    const char* titleName;
    const char* title;
    int header;
    int footer;
};

// Header and footer heights of the register pages are their editors'; the frame fixes the rest.
const Page pages[] = {
    {"ats", "1予測", "a11ttL", "1 FX予測 ﾄﾞﾙ円特化", 80, 150},
    {"bts", "2ﾌﾟﾛ目", "b01ttL", "2 ﾌﾟﾛの予想 Market Forecast", 40, -1},
    {"cts", "3機学", "c01ttL", "3 機械学習", 40, 40},
    {"dts", "4FX表", "d01ttL", "4 FX表", 40, 40},
    {"ets", "5ｲﾍﾞﾝﾄ", "e01ttlL", "5 ｲﾍﾞﾝﾄ記録", 40, -1},
    {"fts", "6EV表", "f01ttlL", "6.1 ｲﾍﾞﾝﾄ表", 40, -1},
    {"gts", "7ﾌﾞﾗｳｻﾞ", "g01ttlL", "7 ﾌﾞﾗｳｻﾞ", 80, 80},
    {"its", "8CSV", "i01L", "9 CSVﾌｧｲﾙに書出と読込", 100, 40},
    {"jts", "9分析", "j01ttL", "9 分析 予測・ﾌﾟﾛ目・ｲﾍﾞﾝﾄの成績", 80, 40},
    {"kts", "10検証", "k01ttL", "10 検証", 80, 72},
};

// The progress bar's text fits the bar, and the bar leaves the information line's longest text
// (the hint of "FX読込") and the controls of the page's first row alone.
bool progressTextIsWhole(const QProgressBar* bar) {
    const QWidget* header = bar->parentWidget();
    const auto* info = header->findChild<QLabel*>(QStringLiteral("a12ifL"));
    const int hintEnd = info->x() + info->fontMetrics().horizontalAdvance(PriceImport::a13rdtBHint());
    const int textWidth = bar->fontMetrics().horizontalAdvance(bar->text()) + 8;
    bool clear = bar->x() > hintEnd && bar->geometry().right() < header->width();
    for (const char* name : {"a13rdtB", "a15dE", "a14crL", "a17stpB"})
        clear = clear && !header->findChild<QWidget*>(QLatin1String(name))
                             ->geometry()
                             .intersects(bar->geometry());
    return clear && textWidth <= bar->contentsRect().width();
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

    TestSettings settings;
    std::unique_ptr<TestFolder> dir;
    TemplateDatabase templateDb;
    std::unique_ptr<TestDialogs> dialogs;
    std::unique_ptr<TKestoF> window;

    void create(const QString& catalogueDir = QStringLiteral(TORVANE_SOURCE_DIR "/data")) {
        window = std::make_unique<TKestoF>(*dialogs, catalogueDir);
    }
    bool showAndActivate() {
        window->show();
        return QTest::qWaitForWindowActive(window.get());
    }
    // Another window takes the activation, then the main window gets it back.
    bool activateAgain() {
        QWidget other;
        other.show();
        other.activateWindow();
        if (!QTest::qWaitForWindowActive(&other))
            return false;
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    QString currentPage() const { return window->pageControl()->currentWidget()->objectName(); }
    PageFrame* page(const char* name) const {
        return window->pageControl()->findChild<PageFrame*>(QLatin1String(name));
    }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(templateDb.create());
    }

    void init() {
        TestSettings::clear();
        dir = std::make_unique<TestFolder>();
        dialogs = std::make_unique<TestDialogs>();
        QVERIFY(templateDb.copyTo(dir->filePath(QStringLiteral("SQDB.DB"))));
    }

    void cleanup() {
        window.reset();
        dir.reset();
    }

    void windowIsCreatedOnPage7WithoutDatabaseWork() {
        create();
        QCOMPARE(window->objectName(), QStringLiteral("KestoF"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Torvane"));
        QCOMPARE(window->geometry(), QRect(190, 120, 904, 641));
        QCOMPARE(currentPage(), QStringLiteral("gts"));
        QVERIFY(!window->startupRan());
        QVERIFY(!window->session().dm.database(window->session().dm.csq()).isOpen());
        auto* close = window->findChild<QPushButton*>(QStringLiteral("z0bB"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("閉じる(&C)"));
    }

    void pagesKeepTheirFrameWhenResized_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(pages)); ++i)
            QTest::newRow(pages[i].name) << i;
    }
    void pagesKeepTheirFrameWhenResized() {
        QFETCH(int, index);
        const Page& expected = pages[index];
        create();
        QTabWidget* pc = window->pageControl();
        PageFrame* frame = page(expected.name);
        QVERIFY(frame);
        QCOMPARE(pc->indexOf(frame), index);
        QCOMPARE(pc->tabText(index), QString::fromUtf8(expected.caption));
        auto* title = frame->findChild<QLabel*>(QLatin1String(expected.titleName));
        QVERIFY(title);
        QCOMPARE(title->text(), QString::fromUtf8(expected.title));
        QCOMPARE(title->parentWidget(), frame->header());
        QCOMPARE(title->pos(), QPoint(8, 8));

        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        pc->setCurrentWidget(frame);
        int footerHeight = expected.footer;
        for (const QSize size : {QSize(904, 641), QSize(1280, 900), QSize(760, 560)}) {
            window->resize(size);
            QTRY_COMPARE(window->size(), size);
            QTRY_COMPARE(frame->footer()->y() + frame->footer()->height(), frame->height());

            QCOMPARE(frame->header()->height(), expected.header);
            if (footerHeight < 0)
                footerHeight = frame->footer()->height();
            QCOMPARE(frame->footer()->height(), footerHeight);
            QCOMPARE(frame->header()->width(), frame->width());
            QCOMPARE(frame->footer()->width(), frame->width());
            QCOMPARE(frame->footer()->y() + footerHeight, frame->height());
            QVERIFY(frame->footer()->y() > frame->header()->height());

            auto* z0P = window->findChild<QWidget*>(QStringLiteral("z0P"));
            auto* z0bB = window->findChild<QPushButton*>(QStringLiteral("z0bB"));
            QCOMPARE(z0P->geometry(), QRect(0, size.height() - 40, size.width(), 40));
            QCOMPARE(z0bB->geometry(), QRect(size.width() - 904 + 728, 8, 120, 25));
            QCOMPARE(pc->geometry(), QRect(0, 0, size.width(), size.height() - 40));
            if (size == QSize(904, 641))
                QCOMPARE(frame->size(), QSize(896, 562));
        }
    }

    // Every button's caption, its accelerator's underline included, stays inside its frame at
    // the designed size.
    void buttonCaptionsFitTheirFrames() {
        create();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QStringList cut;
        for (QPushButton* b : window->findChildren<QPushButton*>()) {
            if (b->text().isEmpty() || b->window() != window.get())
                continue;
            QStyleOptionButton option;
            option.initFrom(b);
            option.rect = QRect(QPoint(), b->size());
            option.text = b->text();
            const QRect room =
                b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
            // The line is centred in the room as the style draws it; the glyphs and the
            // accelerator's underline below the baseline must stay inside.
            const QFontMetrics metrics(b->font());
            QString shown = b->text();
            const bool underlined = shown.contains(u'&');
            shown.remove(u'&');
            const QRect glyphs = metrics.tightBoundingRect(shown);
            const int baseline =
                room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
            const int bottom =
                std::max(baseline + glyphs.bottom(),
                         underlined ? baseline + metrics.underlinePos() + metrics.lineWidth() : 0);
            if (glyphs.width() > room.width() || baseline + glyphs.top() < room.top() - 1 ||
                bottom > room.bottom())
                cut << QStringLiteral("%1: %2 to %3 in %4 to %5")
                           .arg(b->objectName())
                           .arg(baseline + glyphs.top())
                           .arg(bottom)
                           .arg(room.top())
                           .arg(room.bottom());
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
    }

    // Enter on a focused button presses it, on every button of the window.
    void everyButtonAnswersEnter() {
        create();
        QStringList plain;
        for (QPushButton* b : window->findChildren<QPushButton*>())
            if (b->window() == window.get() && !b->autoDefault())
                plain << b->objectName() + u' ' + b->text();
        QVERIFY2(plain.isEmpty(), qPrintable(plain.join(u'\n')));
    }

    void windowFontShowsEveryCaption() {
        const QFont font = windowFont();
        QCOMPARE(font.pixelSize(), 23);
        QVERIFY2(QFontDatabase::families().contains(font.families().value(0)),
                 "no Japanese fixed-pitch font is installed");
        QString texts = QStringLiteral("閉じる(&C)FX読込6.2 ｲﾍﾞﾝﾄ区分");
        for (const Page& p : pages)
            texts += QString::fromUtf8(p.caption) + QString::fromUtf8(p.title);
        const QFontMetrics metrics(font);
        for (const QChar c : texts)
            QVERIFY2(c == u' ' || metrics.inFont(c), qPrintable(QStringLiteral("no glyph: ") + c));
    }

    void startupRunsOnceShowingPage1WithFocusOnImport() {
        create();
        QVERIFY(showAndActivate());
        QVERIFY(window->startupRan());
        QVERIFY(dialogs->errors.isEmpty());
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("SQDB.DB"))));
        QCOMPARE(currentPage(), QStringLiteral("ats"));
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("a13rdtB"));
        QCOMPARE(qobject_cast<QPushButton*>(QApplication::focusWidget())->text(),
                 QStringLiteral("FX読込"));

        // Whatever the user did since must survive the next activation: the page shown and the
        // in-memory database, which a second start-up would replace with an empty one.
        window->pageControl()->setCurrentIndex(3);
        Session& session = window->session();
        QSqlQuery q(session.dm.database(session.dm.csm()));
        QVERIFY(q.exec(QStringLiteral("create table KEEP (X integer)")));
        dialogs->clear();

        QVERIFY(activateAgain());
        QCOMPARE(currentPage(), QStringLiteral("dts"));
        QVERIFY(session.store.tableExists(QStringLiteral("csm"), QStringLiteral("KEEP")));
        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(dialogs->errors.isEmpty());
    }

    // The window's place and size and the day count come back as the last close left them; the
    // start-up still shows page 1 with the focus and the hint on "FX読込".
    void sessionComesBackAtTheNextStart_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("restored");
        QTest::newRow("whole number") << "07"
                                      << "07";
        QTest::newRow("no number: the designed 3") << "abc"
                                                   << "3";
    }
    void sessionComesBackAtTheNextStart() {
        QFETCH(QString, typed);
        QFETCH(QString, restored);
        create();
        QVERIFY(showAndActivate());
        window->setGeometry(60, 40, 760, 560);
        QTRY_COMPARE(window->geometry().topLeft(), QPoint(60, 40));
        const QRect moved = window->geometry();
        QVERIFY(moved.size() != QSize(904, 641));
        window->findChild<QLineEdit*>(QStringLiteral("a15dE"))->setText(typed);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("z0bB")), Qt::LeftButton);
        QTRY_VERIFY(!window->isVisible());
        window.reset();

        create();
        QCOMPARE(window->geometry(), moved);
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("a15dE"))->text(), restored);
        QVERIFY(showAndActivate());
        QCOMPARE(currentPage(), QStringLiteral("ats"));
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("a13rdtB"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("a12ifL"))->text(),
                 PriceImport::a13rdtBHint());
    }

    // Each file dialog opens in the folder it was last left in, the price file's and the image's
    // apart; a folder removed since is not offered.
    void fileDialogsOpenWhereTheyWereLeft() {
        QTemporaryDir prices, images;
        const QString priceFile = prices.filePath(QStringLiteral("USDJPY.CSV"));
        QFile(priceFile).open(QIODevice::WriteOnly);
        QtDialogs qtDialogs;
        // Answers the next file dialog with `choice` and tells the folder it opened in.
        const auto answer = [this](const QString& choice, QString* shown) {
            auto* poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [poll, choice, shown] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!dialog || !dialog->isVisible())
                    return;
                poll->deleteLater();
                *shown = dialog->directory().absolutePath();
                // Typed as a user does: selectFile() leaves a focused name box alone, so once
                // the dialog has the focus it would select nothing and the dialog stay open.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(choice);
                static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
            });
            poll->start(10);
        };
        QString shown;
        answer(priceFile, &shown);
        QCOMPARE(qtDialogs.openFile(), priceFile);
        answer(images.filePath(QStringLiteral("chart.png")), &shown);
        QCOMPARE(qtDialogs.saveFile(QStringLiteral("chart.png"), QStringLiteral("PNG (*.png)")),
                 images.filePath(QStringLiteral("chart.png")));

        answer(priceFile, &shown);
        qtDialogs.openFile();
        QCOMPARE(shown, QDir(prices.path()).absolutePath());
        answer(images.filePath(QStringLiteral("next.png")), &shown);
        qtDialogs.saveFile(QStringLiteral("next.png"), QStringLiteral("PNG (*.png)"));
        QCOMPARE(shown, QDir(images.path()).absolutePath());

        KeptSettings::setValue(KeptSettings::openFolder, prices.filePath(QStringLiteral("gone")));
        answer(priceFile, &shown);
        qtDialogs.openFile();
        QVERIFY(shown != prices.filePath(QStringLiteral("gone")));
    }

    // A page change by keys or a tab click focuses the tabs: a register grid that got the focus
    // would answer every page change with its "F3ｷｰで修正" box.
    void changingPagesFocusesTheTabsNotTheNextPage() {
        create();
        QVERIFY(showAndActivate());
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("a13rdtB"));
        dialogs->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(currentPage(), QStringLiteral("bts"));
        QCOMPARE(QApplication::focusWidget(), window->pageControl()->tabBar());
        QTabBar* tabs = window->pageControl()->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
        QCOMPARE(currentPage(), QStringLiteral("ets"));
        QVERIFY(dialogs->messages.isEmpty());
    }

    // Leaving the result field for the tabs computes the difference but keeps the focus with
    // the tabs: page 2 shows with neither its grid's box nor the browser its empty conclusion
    // field would open.
    void tabClickFromResultFieldShowsThePageWithNothingRun() {
        create();
        QVERIFY(showAndActivate());
        QTabWidget* pc = window->pageControl();
        QTabBar* tabs = pc->tabBar();
        auto* conclusion = page("bts")->findChild<QLineEdit*>(QStringLiteral("b105rz2E"));
        auto* expected = page("ets")->findChild<QLineEdit*>(QStringLiteral("e107eiv2E"));
        auto* result = page("ets")->findChild<QLineEdit*>(QStringLiteral("e108riv2E"));
        auto* difference = page("ets")->findChild<QLineEdit*>(QStringLiteral("e109div2E"));
        QVERIFY(conclusion && expected && result && difference);

        // Page 2 last had its focus in the empty conclusion field.
        tabs->setFocus();
        pc->setCurrentWidget(page("bts"));
        conclusion->setText(QStringLiteral("x"));
        conclusion->setFocus();
        QTRY_VERIFY(conclusion->hasFocus());
        conclusion->clear();
        tabs->setFocus();
        QTRY_VERIFY(tabs->hasFocus());
        pc->setCurrentWidget(page("ets"));
        expected->setText(QStringLiteral("1"));
        result->setText(QStringLiteral("2"));
        result->setFocus();
        QTRY_VERIFY(result->hasFocus());
        dialogs->clear();

        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(currentPage(), QStringLiteral("bts"));
        QCOMPARE(QApplication::focusWidget(), tabs);
        QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->messages.join(u'|')));
        QVERIFY(dialogs->errors.isEmpty());
        QCOMPARE(difference->text(), QStringLiteral("1"));
        auto* marker = page("gts")->findChild<QLabel*>(QStringLiteral("g03refL"));
        QVERIFY(marker);
        QCOMPARE(marker->text(), QString());
    }

    // Every plain button answers Enter as the register buttons do.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("pageName");
        QTest::addColumn<QString>("button");
        QTest::newRow("FX読込") << QStringLiteral("ats") << QStringLiteral("a13rdtB");
        QTest::newRow("検索元に戻る") << QStringLiteral("gts") << QStringLiteral("g15rtB");
        QTest::newRow("CSV書出") << QStringLiteral("its") << QStringLiteral("i03wtB");
        QTest::newRow("CSV読込") << QStringLiteral("its") << QStringLiteral("i04rdB");
        QTest::newRow("閉じる(&C)") << QString() << QStringLiteral("z0bB");
        QTest::newRow("登録(&R)") << QStringLiteral("bts") << QStringLiteral("b109rgB");
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, pageName);
        QFETCH(QString, button);
        create();
        QVERIFY(showAndActivate());
        if (!pageName.isEmpty())
            window->pageControl()->setCurrentWidget(page(pageName.toLatin1().constData()));
        auto* b = window->findChild<QPushButton*>(button);
        QVERIFY(b);
        // Only the press is under test, not what the button then does.
        QObject::disconnect(b, &QAbstractButton::clicked, nullptr, nullptr);
        QSignalSpy pressed(b, &QAbstractButton::clicked);
        b->setFocus();
        QTRY_VERIFY(b->hasFocus());
        QTest::keyClick(b, Qt::Key_Return);
        QCOMPARE(pressed.count(), 1);
        QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(pressed.count(), 2);
    }

    void startupErrorIsShownOnceAndLeavesPage7() {
        // A first start-up in an empty folder, and the catalogue is nowhere.
        QVERIFY(QFile::remove(dir->filePath(QStringLiteral("SQDB.DB"))));
        create(dir->filePath(QStringLiteral("nowhere")));
        QVERIFY(showAndActivate());
        QVERIFY(window->startupRan());
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(currentPage(), QStringLiteral("gts"));
        QVERIFY(!page("ats")->findChild<QWidget*>(QStringLiteral("a13rdtB"))->hasFocus());

        QVERIFY(activateAgain());
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(currentPage(), QStringLiteral("gts"));
    }

    void confirmationAnswersByKey_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Escape answers No") << int(Qt::Key_Escape) << 0 << false;
        QTest::newRow("Enter answers Yes") << int(Qt::Key_Return) << 0 << true;
        QTest::newRow("Alt+N answers No") << int(Qt::Key_N) << int(Qt::AltModifier) << false;
        QTest::newRow("Alt+Y answers Yes") << int(Qt::Key_Y) << int(Qt::AltModifier) << true;
    }
    void confirmationAnswersByKey() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, answer);
        QtDialogs qtDialogs;
        QString title;
        QStringList buttons;
        bool closedByKey = false;
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            // Its mnemonics answer only while it is the active window.
            if (QApplication::activeWindow() != box) {
                box->activateWindow();
                return;
            }
            poll->deleteLater();
            title = box->windowTitle();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            // A mnemonic clicks its button a moment later, as a click the user can see.
            for (int i = 0; i < 100 && box->isVisible(); ++i)
                QTest::qWait(10);
            closedByKey = !box->isVisible();
            if (!closedByKey)
                box->done(QMessageBox::Cancel);
        });
        poll->start(10);
        const bool result = qtDialogs.confirm(QStringLiteral("よろしいですか"));
        QVERIFY(closedByKey);
        QCOMPARE(result, answer);
        QCOMPARE(title, QStringLiteral("確認"));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
    }

    // The one place that pins the operation numbers and key codes the program's dispatchers and
    // key handlers are defined by; every other test names them.
    void selectorsKeepTheirNumbers_data() {
        QTest::addColumn<int>("named");
        QTest::addColumn<int>("number");
        const auto pin = [](const char* name, int named, int number) {
            QTest::newRow(name) << named << number;
        };
        pin("uexSql file", Store::execFile, 1);
        pin("uexSql memory", Store::execMemory, 2);
        pin("uqTst columns", Store::tstColumns, 1);
        pin("uqTst lookup", Store::tstLookup, 2);
        pin("uqTst load", Store::tstLoad, 3);
        pin("ucSql select", Store::sqlSelect, 1);
        pin("ucSql insert", Store::sqlInsert, 2);
        pin("ucSql update", Store::sqlUpdate, 3);
        pin("ucSql bound insert", Store::sqlBoundInsert, 4);
        pin("ucSql bound update", Store::sqlBoundUpdate, 5);
        pin("ucSql create", Store::sqlCreate, 6);
        pin("ucSql quote value", Store::sqlQuoteValue, 7);
        pin("uqCtbl ensure all", Store::ctblEnsureAll, 1);
        pin("uqCtbl create", Store::ctblCreate, 2);
        pin("uqCtbl drop", Store::ctblDrop, 3);
        pin("uq4F open", PriceImport::pricesOpen, 1);
        pin("uq4F import", PriceImport::pricesImport, 2);
        pin("uq4F 75 average", PriceImport::pricesAverage75, 3);
        pin("uq4F frame averages", PriceImport::pricesFrameAverages, 4);
        pin("uq4W hour", PriceImport::frameHour, 1);
        pin("uq4W four hours", PriceImport::frameFourHours, 2);
        pin("uq4W day", PriceImport::frameDay, 3);
        pin("uq1K train", Forecaster::forecastTrain, 1);
        pin("uq1K chart", Forecaster::forecastChart, 2);
        pin("uq8C open list", CsvExchange::csvOpenList, 1);
        pin("uq8C export", CsvExchange::csvExport, 2);
        pin("uq8C import", CsvExchange::csvImport, 3);
        pin("uq7B opinion", BrowserPage::browseProOpinion, 1);
        pin("uq7B event page", BrowserPage::browseEventPage, 2);
        pin("uq7B search", BrowserPage::browseSearch, 3);
        pin("uq7B return", BrowserPage::browseReturn, 4);
        pin("uq7B clear", BrowserPage::browseClear, 5);
        pin("register open", RecordEditor::runOpen, 1);
        pin("register insert", RecordEditor::runInsert, 2);
        pin("register update", RecordEditor::runUpdate, 3);
        pin("register next count", RecordEditor::runNextCount, 4);
        pin("register reset", RecordEditor::runReset, 5);
        pin("register load", RecordEditor::runLoad, 6);
        pin("key Enter", Vk::Enter, 13);
        pin("key Escape", Vk::Escape, 27);
        pin("key Up", Vk::Up, 38);
        pin("key Down", Vk::Down, 40);
        pin("key F1", Vk::F1, 112);
        pin("key F3", Vk::F3, 114);
        pin("key F12", Vk::F12, 123);
    }
    void selectorsKeepTheirNumbers() {
        QFETCH(int, named);
        QFETCH(int, number);
        QCOMPARE(named, number);
    }

    void closingBeforeAnyTrainingRaisesNothing_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("close button") << 0;
        QTest::newRow("Alt+C") << 1;
        QTest::newRow("close box or system close") << 2;
    }
    void closingBeforeAnyTrainingRaisesNothing() {
        QFETCH(int, how);
        create();
        QVERIFY(showAndActivate());
        dialogs->clear();
        auto* z0bB = window->findChild<QPushButton*>(QStringLiteral("z0bB"));
        if (how == 0)
            QTest::mouseClick(z0bB, Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
        else
            window->close();
        QTRY_VERIFY(!window->isVisible());
        window.reset();
        QVERIFY(dialogs->questions.isEmpty());
        QVERIFY(dialogs->errors.isEmpty());
        QVERIFY(dialogs->messages.isEmpty());
    }

    // The training runs beside the window: events keep coming, what would change its data is
    // refused, "中止" stops it, and the imported bars stay while no forecast is shown.
    void trainingLetsTheWindowAnswerAndStops() {
        create();
        QVERIFY(showAndActivate());
        Session& session = window->session();
        constexpr int bars = 20000;
        fillPriceTable(session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), bars);
        session.forecast.seed = 3;
        dialogs->clear();

        auto* progress = window->findChild<QProgressBar*>(QStringLiteral("a16pgsBar"));
        auto* cancel = window->findChild<QPushButton*>(QStringLiteral("a17stpB"));
        QVERIFY(progress && cancel && cancel->isHidden());
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        int ticks = 0;
        bool checked = false;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (!session.forecast.training())
                return;
            if (ticks++ > 0)
                longestGap = std::max(longestGap, sinceTick.elapsed());
            sinceTick.restart();
            if (ticks != 20)
                return;
            checked = !progress->isHidden() && cancel->isVisible() &&
                      progress->text().contains(QStringLiteral("20000本")) &&
                      progressTextIsWhole(progress);
            QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("a13rdtB")),
                              Qt::LeftButton);
            window->close();
            window->findChild<QPushButton*>(QStringLiteral("i04rdB"))->click();
            QTest::mouseClick(cancel, Qt::LeftButton);
        });
        ticker.start();
        session.forecast.uq1K(Forecaster::forecastTrain);
        QTRY_VERIFY_WITH_TIMEOUT(!session.forecast.training(), 120000);
        ticker.stop();

        QVERIFY(checked);
        QVERIFY(window->isVisible());
        // How often is the benchmarks' business; here the window must answer at all.
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        qInfo("longest pause between timer events during the training: %lld ms", longestGap);
        QCOMPARE(dialogs->messages,
                 (QStringList{QStringLiteral("1000回学習します"),
                              Forecaster::duringTraining(QStringLiteral("読み込めません")),
                              Forecaster::duringTraining(QStringLiteral("閉じられません")),
                              Forecaster::duringTraining(QStringLiteral("CSV読込できません")),
                              QStringLiteral("学習を中止しました")}));
        QVERIFY(dialogs->errors.isEmpty());
        QVERIFY(!session.forecast.training());
        QVERIFY(!window->NervFann());
        QVERIFY(progress->isHidden() && cancel->isHidden());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("a1015atvL"))->text(), QString());
        QSqlQuery q(session.dm.database(session.dm.csm()));
        QVERIFY(q.exec(QStringLiteral("select count(*), count(CV) from F01YSK")) && q.next());
        QCOMPARE(q.value(0).toInt(), bars + 10);
        QCOMPARE(q.value(1).toInt(), bars);

        // The next training runs to its end and the window closes as usual.
        fillPriceTable(session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 48);
        dialogs->clear();
        session.forecast.uq1K(Forecaster::forecastTrain);
        QTRY_VERIFY(!session.forecast.training());
        QCOMPARE(dialogs->messages.last(), QStringLiteral("学習終了 ｸﾞﾗﾌ表示します"));
        QVERIFY(window->NervFann());
        QVERIFY(!window->findChild<QLabel*>(QStringLiteral("a1015atvL"))->text().isEmpty());
        window->close();
        QVERIFY(!window->isVisible());
    }

    // The forecast after a training off the thread runs from the window's loop: an error there
    // is said like any action's, and the window is free again.
    void errorAfterATrainingIsSaidAndFreesTheWindow() {
        create();
        QVERIFY(showAndActivate());
        Session& session = window->session();
        session.forecast.seed = 2;
        fillPriceTable(session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 12);
        QSqlQuery(session.dm.database(session.dm.csm()))
            .exec(QStringLiteral("update F01YSK set HV = NULL where CNT = 12"));
        dialogs->clear();
        session.forecast.uq1K(Forecaster::forecastTrain);
        QVERIFY(jobsEnded(session));
        QCOMPARE(dialogs->errors.size(), 1);
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("1000回学習します")});
        window->close();
        QVERIFY(!window->isVisible());
    }

    // While a training runs and after "中止", page 1 and page 3 show the new bars without a
    // forecast, never the new bars beside the previous import's forecast, chart or network.
    void stoppedTrainingShowsOneImport() {
        create();
        QVERIFY(showAndActivate());
        Session& session = window->session();
        session.forecast.seed = 5;
        fillPriceTable(session, QDateTime(QDate(2025, 7, 9), QTime(8, 5)), 48);
        session.forecast.uq1K(Forecaster::forecastTrain);
        QVERIFY(jobsEnded(session));
        const auto text = [this](const char* name) {
            return window->findChild<QLabel*>(QLatin1String(name))->text();
        };
        const QStringList forecastLabels{"a1015atvL", "a1017stvL", "a1025acvL",
                                         "a1027scvL", "a1035alvL", "a1037slvL"};
        for (const QString& name : forecastLabels)
            QVERIFY(!text(qPrintable(name)).isEmpty());
        QVERIFY(!text("c02ms2L").isEmpty());

        // The new import: many more bars, so that the training is still out when looked at.
        constexpr int bars = 20000;
        fillPriceTable(session, QDateTime(QDate(2025, 6, 1), QTime(0, 5)), bars);
        auto* cancel = window->findChild<QPushButton*>(QStringLiteral("a17stpB"));
        QLineSeries* chart = window->findChild<ForecastPage*>()->series(0);
        QSqlQuery q(session.dm.database(session.dm.csm()));
        QVERIFY(q.exec(QStringLiteral("select HV, CV, LV, LYMD || ' ' || LHM from F01YSK "
                                      "where CNT = %1").arg(bars)) && q.next());
        const QDateTime lastBar =
            QDateTime::fromString(q.value(3).toString(), QStringLiteral("yyyy/MM/dd HH:mm"));
        // Today is the last bar's day: the chart's three days hold bars.
        Clock::fix(lastBar);
        const auto released = qScopeGuard([] { Clock::release(); });
        const auto showsTheNewBarsAlone = [&] {
            QCOMPARE(text("a1013ztvL"), q.value(0).toString());
            QCOMPARE(text("a1023zcvL"), q.value(1).toString());
            QCOMPARE(text("a1033zlvL"), q.value(2).toString());
            for (const QString& name : forecastLabels)
                QCOMPARE(text(qPrintable(name)), QString());
            QVERIFY(chart->count() > 0);
            QCOMPARE(qint64(chart->at(chart->count() - 1).x()), lastBar.toMSecsSinceEpoch());
            QCOMPARE(text("c02ms2L"), QString());
        };
        session.forecast.uq1K(Forecaster::forecastTrain);
        QVERIFY(session.forecast.training());
        QTest::qWait(50);
        showsTheNewBarsAlone();
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(jobsEnded(session));
        QCOMPARE(dialogs->messages.last(), QStringLiteral("学習を中止しました"));
        showsTheNewBarsAlone();
    }

    void errorInEventHandlerIsReportedAndProgramRunsOn_data() {
        QTest::addColumn<bool>("torvaneError");
        QTest::newRow("TorvaneError") << true;
        QTest::newRow("std::exception") << false;
    }
    void errorInEventHandlerIsReportedAndProgramRunsOn() {
        QFETCH(bool, torvaneError);
        create();
        QVERIFY(showAndActivate());
        dialogs->clear();
        const QString text = QStringLiteral("日付に変換できません: 2024/13/45");
        auto* failing = new QPushButton(QStringLiteral("fail"), page("ats")->header());
        failing->setGeometry(500, 8, 100, 25);
        failing->show();
        int after = 0;
        connect(failing, &QPushButton::clicked, this, [&] {
            if (torvaneError)
                throw TorvaneError(text);
            throw std::runtime_error(text.toStdString());
        });
        connect(failing, &QPushButton::clicked, this, [&] { ++after; });

        QTest::mouseClick(failing, Qt::LeftButton);
        QCOMPARE(dialogs->errors, QStringList{text});
        QCOMPARE(after, 0); // the action ended at the error
        QTest::mouseClick(failing, Qt::LeftButton);
        QCOMPARE(dialogs->errors.size(), 2);

        // The window goes on answering the user.
        window->pageControl()->setCurrentIndex(7);
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("z0bB")), Qt::LeftButton);
        QTRY_VERIFY(!window->isVisible());
    }

    // Qt's own texts come from its Japanese translation.
    void standardButtonsSpeakJapanese() {
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QDialogButtonBox more(QDialogButtonBox::Save | QDialogButtonBox::Close);
        QCOMPARE(more.button(QDialogButtonBox::Close)->text(), QStringLiteral("閉じる"));
    }

    void typedAnswerByKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("answered");
        QTest::newRow("Enter answers what was typed") << int(Qt::Key_Return) << true;
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << false;
    }
    void typedAnswerByKeys() {
        QFETCH(int, key);
        QFETCH(bool, answered);
        QtDialogs qtDialogs;
        QString offered, cancelText;
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [&, poll] {
            auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (!input || !input->isVisible())
                return;
            if (QApplication::activeWindow() != input) {
                input->activateWindow();
                return;
            }
            poll->deleteLater();
            offered = input->textValue();
            cancelText = input->cancelButtonText();
            auto* edit = input->findChild<QLineEdit*>();
            edit->selectAll();
            QTest::keyClicks(edit, QStringLiteral("Europe/Athens"));
            QTest::keyClick(edit, Qt::Key(key));
            if (input->isVisible())
                input->reject();
        });
        poll->start(10);
        const std::optional<QString> answer =
            qtDialogs.askText(QStringLiteral("時差を入力してください"), QStringLiteral("7"));
        QCOMPARE(offered, QStringLiteral("7"));
        QCOMPARE(cancelText, QStringLiteral("キャンセル"));
        QCOMPARE(answer.has_value(), answered);
        if (answered)
            QCOMPARE(*answer, QStringLiteral("Europe/Athens"));
    }

    void f1OpensTheUserGuide() {
        create();
        QVERIFY(showAndActivate());
        dialogs->clear();
        QTest::keyClick(window.get(), Qt::Key_F1);
        auto* guide = window->findChild<QTextBrowser*>(QStringLiteral("guideText"));
        QVERIFY(guide);
        QTRY_VERIFY(guide->isVisible());
        QVERIFY(guide->toPlainText().contains(QStringLiteral("Torvane 利用の手引き")));
        QVERIFY(dialogs->errors.isEmpty());
        // A second F1 raises the same window.
        QTest::keyClick(window.get(), Qt::Key_F1);
        QCOMPARE(window->findChildren<QTextBrowser*>(QStringLiteral("guideText")).size(), 1);

        // Every link to a section of the guide scrolls to it.
        QStringList sections;
        for (QTextBlock block = guide->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (const QString href = it.fragment().charFormat().anchorHref();
                    href.startsWith(u'#'))
                    sections << QUrl(href).fragment(QUrl::FullyDecoded);
        QVERIFY(sections.size() >= 10);
        QScrollBar* scroll = guide->verticalScrollBar();
        for (const QString& section : std::as_const(sections)) {
            scroll->setValue(0);
            guide->scrollToAnchor(section);
            QVERIFY2(scroll->value() > 0, qPrintable(section));
        }
    }

    void droppedFileIsImported_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("firstTime");
        QTest::newRow("price file")
            << "2025/07/08,10:00,150.1,150.2,150.0,150.15,2025/07/08,10:15"
            << "2025/07/08,10:15,150.1,150.3,150.1,150.25,2025/07/08,10:30" << 0 << "10:00";
        QTest::newRow("MT4 export")
            << "2025.07.08,10:00,150.1,150.2,150.0,150.15,5"
            << "2025.07.08,10:15,150.1,150.3,150.1,150.25,5" << 1 << "17:00";
    }
    void droppedFileIsImported() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, questions);
        QFETCH(QString, firstTime);
        QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
            .remove(QLatin1String(PriceImport::serverTimeKey));
        Clock::fix(QDateTime(QDate(2025, 7, 9), QTime(12, 0)));
        const QString path = dir->filePath(QStringLiteral("dropped.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((first + QStringLiteral("\r\n") + second + QStringLiteral("\r\n")).toLatin1());
        file.close();
        create();
        QVERIFY(showAndActivate());
        dialogs->clear();
        dialogs->textAnswer = QStringLiteral("7");
        auto* page1 = window->findChild<ForecastPage*>(QStringLiteral("ats"));
        QVERIFY(page1->acceptDrops());

        QMimeData other;
        other.setText(QStringLiteral("text"));
        QDragEnterEvent refused(QPoint(400, 300), Qt::CopyAction, &other, Qt::LeftButton, {});
        QApplication::sendEvent(page1, &refused);
        QVERIFY(!refused.isAccepted());

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(page1, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(400, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(page1, &drop);
        QVERIFY(drop.isAccepted());
        QTRY_COMPARE(window->session().reg.imcn, 2);
        QCOMPARE(dialogs->textQuestions.size(), questions);
        QSqlQuery q(window->session().dm.database(window->session().dm.csm()));
        QVERIFY(q.exec(QStringLiteral("select SHM from F01YSK where CNT = 1")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), firstTime);
        QTRY_VERIFY(dialogs->messages.contains(QStringLiteral("学習終了 ｸﾞﾗﾌ表示します")));
        Clock::release();
        QSettings(QStringLiteral("torvane"), QStringLiteral("torvane"))
            .remove(QLatin1String(PriceImport::serverTimeKey));
    }

    void userActionReportsItsError_data() {
        QTest::addColumn<int>("failure");
        QTest::addColumn<bool>("ran");
        QTest::addColumn<QStringList>("errors");
        QTest::newRow("completes") << 0 << true << QStringList();
        QTest::newRow("TorvaneError")
            << 1 << false << QStringList{QStringLiteral("日付に変換できません: 2024/13/45")};
        QTest::newRow("out of memory")
            << 2 << false << QStringList{QStringLiteral("メモリが足りません")};
    }
    void userActionReportsItsError() {
        QFETCH(int, failure);
        QFETCH(bool, ran);
        QFETCH(QStringList, errors);
        TestDialogs recorder;
        bool ended = false;
        const bool result = runAction(recorder, [&] {
            if (failure == 1)
                throw TorvaneError(QStringLiteral("日付に変換できません: 2024/13/45"));
            if (failure == 2)
                throw std::bad_alloc();
            ended = true;
        });
        QCOMPARE(result, ran);
        QCOMPARE(ended, ran);
        QCOMPARE(recorder.errors, errors);
    }

    void keysReachHandlerAndControl_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("code");
        QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << Vk::Enter;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << Vk::Enter;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << Vk::Escape;
        QTest::newRow("Up") << int(Qt::Key_Up) << 0 << Vk::Up;
        QTest::newRow("Shift+Down") << int(Qt::Key_Down) << int(Qt::ShiftModifier) << Vk::Down;
        QTest::newRow("F3") << int(Qt::Key_F3) << 0 << Vk::F3;
        QTest::newRow("F12") << int(Qt::Key_F12) << 0 << Vk::F12;
        QTest::newRow("letter") << int(Qt::Key_A) << 0 << 65;
    }
    void keysReachHandlerAndControl() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, code);
        create();
        QVERIFY(showAndActivate());
        auto* edit = new RecordingEdit(page("ats")->header());
        edit->setGeometry(500, 40, 100, 30);
        edit->show();
        QList<std::pair<int, Qt::KeyboardModifiers>> seen;
        onKeyDown(edit, [&](int vk, Qt::KeyboardModifiers shift) { seen.append({vk, shift}); });
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());

        QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].first, code);
        QCOMPARE(seen[0].second & Qt::ShiftModifier,
                 Qt::KeyboardModifiers(modifiers) & Qt::ShiftModifier);
        QCOMPARE(edit->keys, QList<int>{key});
        QVERIFY(dialogs->errors.isEmpty());
    }
};

#if defined(__SANITIZE_ADDRESS__)
// errorInEventHandlerIsReportedAndProgramRunsOn throws through Qt's event delivery on purpose, to
// reach the last-resort handler; Qt is built without exception cleanups there and loses the event
// copies it made on the way. The program's own actions catch their errors before that.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:QMutableEventPoint::detach\n"
           "leak:QSinglePointEvent::QSinglePointEvent\n"
           "leak:QAccessibleObject::QAccessibleObject\n";
}
#endif

// The window's own application object, so that errors reach its one default handler.
int main(int argc, char* argv[]) {
    TorvaneApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    applyDarkLook(app);
    TestWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window.moc"
