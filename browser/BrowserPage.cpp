#include "browser/BrowserPage.h"

#include "browser/BrowserTargets.h"
#include "browser/ScriptResult.h"
#include "browser/WebEngineWebView.h"
#include "records/Steppers.h"
#include "session/Session.h"
#include "store/TextRules.h"
#include "store/TorvaneError.h"
#include "ui/UserAction.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString addressScript = QStringLiteral("encodeURI(location.href)");

// Until the window sets its targets there is nowhere to carry values to.
class NoTargets : public BrowserTargets {
public:
    void setText(const QString&, const QString&) override {}
    void setFocus(const QString&) override {}
    void showPage(const QString&) override {}
};
NoTargets noTargets;

// Qt has no half-width katakana mode: such fields leave the input method free, fields with the
// input method off take Latin input only.
void setInputMethodOff(QLineEdit* edit) {
    edit->setInputMethodHints(Qt::ImhLatinOnly);
}
void setInputMethodKatakana(QLineEdit* edit) {
    edit->setInputMethodHints(Qt::ImhNone);
}

QLabel* label(const QString& name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit* edit(const QString& name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    return e;
}

} // namespace

BrowserPage::BrowserPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : BrowserPage(session, dialogs, nullptr, parent) {}

BrowserPage::BrowserPage(Session& session, Dialogs& dialogs, WebView* view, QWidget* parent)
    : PageFrame(QStringLiteral("g01ttlL"), QStringLiteral("7 ﾌﾞﾗｳｻﾞ"), 80, 80, parent),
      m_session(session), m_dialogs(dialogs), m_targets(&noTargets) {
    setObjectName(QStringLiteral("gts"));
    buildHeader();
    gEdg = view ? view : new WebEngineWebView;
    gEdg->setObjectName(QStringLiteral("gEdg"));
    setMainView(gEdg);
    buildCaptureStrip();
    connect(gEdg, &WebView::scriptResult, this, [this](int result, const QString& json) {
        runAction(m_dialogs, [&] { gEdgExecuteScript(result, json); });
    });
}

BrowserPage::~BrowserPage() = default;

void BrowserPage::setTargets(BrowserTargets* targets) {
    m_targets = targets ? targets : &noTargets;
}

void BrowserPage::setAddresses(const QString& search, const QString& calendar) {
    m_searchAddress = search;
    m_calendarAddress = calendar;
}

void BrowserPage::buildHeader() {
    QWidget* h = header();
    h->setObjectName(QStringLiteral("g0P"));
    g02se1L = label(QStringLiteral("g02se1L"), QStringLiteral("検索ﾜｰﾄﾞ"), h);
    g02se1L->setGeometry(130, 10, 110, 26);
    g02se2E = edit(QStringLiteral("g02se2E"), h);
    g02se2E->setText(QStringLiteral("経済指標"));
    g02se2E->setGeometry(240, 6, 440, 32);
    g04ifoL = label(QStringLiteral("g04ifoL"), QStringLiteral("[Enter]ｴﾝﾀｰｷｰで検索します"), h);
    g04ifoL->setGeometry(240, 46, 440, 26);
    g03refL = label(QStringLiteral("g03refL"), QString(), h);
    g03refL->resize(60, 26);
    placeMarker();
    h->installEventFilter(this);
    g02se2E->installEventFilter(this);
}

void BrowserPage::buildCaptureStrip() {
    QWidget* f = footer();
    f->setObjectName(QStringLiteral("g1P"));
    g110ifL = label(QStringLiteral("g110ifL"), QString(), f);
    g110ifL->setGeometry(8, 38, 136, 26);

    struct Capture {
        QLabel*& caption;
        QLineEdit*& field;
        const char* captionName;
        const char* fieldName;
        int x;
        int width;
    };
    const Capture captures[] = {
        {g111L, g112E, "g111L", "g112E", 150, 138},
        {g121L, g122E, "g121L", "g122E", 296, 68},
        {g131L, g132E, "g131L", "g132E", 372, 128},
        {g141L, g142E, "g141L", "g142E", 508, 240},
    };
    for (const Capture& c : captures) {
        c.caption = label(QString::fromLatin1(c.captionName), QString(), f);
        c.caption->setGeometry(c.x, 6, c.width, 26);
        c.field = edit(QString::fromLatin1(c.fieldName), f);
        c.field->setGeometry(c.x, 36, c.width, 32);
        c.field->installEventFilter(this);
    }
    g15rtB = new QPushButton(QStringLiteral("検索元に戻る"), f);
    g15rtB->setObjectName(QStringLiteral("g15rtB"));
    // Six full-width characters of the window font need 138 pixels plus the frame.
    g15rtB->setGeometry(751, 34, 144, 34);
    // The capture fields' Enter chain ends here; Enter then presses the button.
    g15rtB->setAutoDefault(true);
    connect(g15rtB, &QPushButton::clicked, this,
            [this] { runAction(m_dialogs, [this] { g15rtBClick(); }); });

    QWidget::setTabOrder(g112E, g122E);
    QWidget::setTabOrder(g122E, g132E);
    QWidget::setTabOrder(g132E, g142E);
    QWidget::setTabOrder(g142E, g15rtB);
}

void BrowserPage::placeMarker() {
    g03refL->move(header()->width() - g03refL->width() - 8, 10);
}

bool BrowserPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == header() && event->type() == QEvent::Resize) {
        placeMarker();
        return false;
    }
    runAction(m_dialogs, [&] {
        if (event->type() == QEvent::FocusIn && watched == g132E) {
            // Entering the field, not the window coming back to the front or a menu closing.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                g132EEnter();
        } else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const int vk = Vk::fromQt(key->key());
            // Arrow keys carry the keypad flag on some platforms; it is no shift state.
            const Qt::KeyboardModifiers shift = key->modifiers() & ~Qt::KeypadModifier;
            if (watched == g02se2E)
                g02se2EKeyDown(vk);
            else if (watched == g112E)
                g112EKeyDown(vk, shift);
            else if (watched == g122E)
                g122EKeyDown(vk);
            else if (watched == g132E)
                g132EKeyDown(vk);
            else if (watched == g142E)
                g142EKeyDown(vk);
        }
    });
    // The handlers watch the keys; the fields still receive them.
    return false;
}

void BrowserPage::moveFocus(QWidget* from, bool forward) {
    // The window's tab order, skipping what cannot take the focus now.
    QWidget* w = from;
    while ((w = forward ? w->nextInFocusChain() : w->previousInFocusChain()) != from) {
        if ((w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->isEnabled() &&
            w->isVisibleTo(from->window()) && !w->focusProxy()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    }
}

void BrowserPage::navigate(const QString& address) {
    m_requested = address;
    gEdg->navigate(address);
}

void BrowserPage::askForAddress() {
    gEdg->runScript(addressScript);
}

void BrowserPage::uq7B(int op) {
    Registers& reg = m_session.reg;
    QString st;
    switch (op) {
    case browseProOpinion:
        st = m_searchAddress;
        m_targets->showPage(QStringLiteral("gts"));
        g03refL->setText(QStringLiteral("2b"));
        reg.sa[1] = st + QStringLiteral("ﾄﾞﾙ円");
        navigate(reg.sa[1]);
        g110ifL->setText(QStringLiteral("ﾌﾟﾛの目"));
        g111L->clear();
        g112E->setEnabled(false);
        g121L->clear();
        g122E->setEnabled(false);
        g131L->setText(QStringLiteral("結論"));
        setInputMethodKatakana(g132E);
        g141L->setText(QStringLiteral("理由"));
        setInputMethodKatakana(g142E);
        // Its entry handler asks for the address at once, while the navigation still runs.
        g132E->setFocus(Qt::OtherFocusReason);
        break;
    case browseEventPage:
        g03refL->setText(QStringLiteral("5e"));
        m_targets->showPage(QStringLiteral("gts"));
        reg.sa[1] = m_session.dm.qf1.field(QStringLiteral("URL")).asString();
        navigate(reg.sa[1]);
        g110ifL->setText(QStringLiteral("ｲﾍﾞﾝﾄ記録"));
        g111L->setText(QStringLiteral("発表日"));
        g112E->setEnabled(true);
        setInputMethodOff(g112E);
        g121L->setText(QStringLiteral("時間"));
        g122E->setEnabled(true);
        setInputMethodOff(g122E);
        g131L->setText(QStringLiteral("結果値"));
        setInputMethodOff(g132E);
        g141L->setText(QStringLiteral("期待値"));
        setInputMethodOff(g142E);
        g112E->setFocus(Qt::OtherFocusReason);
        break;
    case browseSearch:
        st = m_searchAddress;
        if (g02se2E->text() == QStringLiteral("経済指標") || g02se2E->text().isEmpty())
            reg.sa[1] = m_calendarAddress;
        else
            reg.sa[1] = st + g02se2E->text();
        navigate(reg.sa[1]);
        break;
    case browseReturn: {
        const QString marker = g03refL->text();
        if (marker == QStringLiteral("2b")) {
            m_targets->setText(QStringLiteral("b105rz2E"), g132E->text());
            m_targets->setText(QStringLiteral("b106rs2E"), g142E->text());
            m_targets->showPage(QStringLiteral("bts"));
            m_targets->setFocus(QStringLiteral("b107syt2E"));
        } else if (marker == QStringLiteral("5e")) {
            m_targets->setText(QStringLiteral("e105dt2E"), g112E->text());
            m_targets->setText(QStringLiteral("e106hm2E"), g122E->text());
            QString expected = g142E->text();
            m_targets->setText(QStringLiteral("e107eiv2E"), TextRules::ErPeriod(expected));
            QString result = g132E->text();
            m_targets->setText(QStringLiteral("e108riv2E"), TextRules::ErPeriod(result));
            m_targets->showPage(QStringLiteral("ets"));
            m_targets->setFocus(QStringLiteral("e107eiv2E"));
        }
        uq7B(browseClear);
        gEdg->closeView();
        break;
    }
    case browseClear:
        g02se2E->setText(QStringLiteral("経済指標"));
        for (QLabel* l : {g03refL, g110ifL, g111L, g121L, g131L, g141L})
            l->clear();
        for (QLineEdit* e : {g112E, g122E, g132E, g142E})
            e->clear();
        break;
    default:
        break;
    }
}

void BrowserPage::g02se2EKeyDown(int key) {
    if (key == Vk::Enter)
        uq7B(browseSearch);
}

void BrowserPage::g112EKeyDown(int key, Qt::KeyboardModifiers shift) {
    if (key == Vk::Enter) {
        moveFocus(g112E, true);
    } else if (key == Vk::Escape) {
        moveFocus(g112E, false);
    } else if (key == Vk::Up || key == Vk::Down) {
        QString& sa1 = m_session.reg.sa[1];
        sa1 = g112E->text();
        Steppers::ucDt(sa1, key, shift, m_dialogs);
        g112E->setText(sa1);
    }
}

void BrowserPage::g122EKeyDown(int key) {
    if (key == Vk::Enter) {
        moveFocus(g122E, true);
    } else if (key == Vk::Escape) {
        moveFocus(g122E, false);
    } else if (key == Vk::Up || key == Vk::Down) {
        QString& sa1 = m_session.reg.sa[1];
        sa1 = g122E->text();
        Steppers::ucTm(sa1, key);
        g122E->setText(sa1);
    }
}

void BrowserPage::g132EEnter() {
    if (g03refL->text() == QStringLiteral("2b"))
        askForAddress();
}

void BrowserPage::g132EKeyDown(int key) {
    if (key == Vk::Enter)
        moveFocus(g132E, true);
    else if (key == Vk::Escape)
        moveFocus(g132E, false);
}

void BrowserPage::g142EKeyDown(int key) {
    if (key == Vk::Enter) {
        moveFocus(g142E, true);
        if (g03refL->text() == QStringLiteral("2b"))
            askForAddress();
    } else if (key == Vk::Escape) {
        moveFocus(g142E, false);
    }
}

void BrowserPage::g15rtBClick() {
    uq7B(browseReturn);
}

void BrowserPage::gEdgExecuteScript(int aResult, const QString& aResultObjectAsJson) {
    Q_UNUSED(aResult); // the result code is not examined
    if (aResultObjectAsJson == QStringLiteral("null"))
        return;
    if (g03refL->text() == QStringLiteral("2b")) {
        QString address = ScriptResult::text(aResultObjectAsJson);
        // A page that failed to load stands at the engine's error page; the site the user
        // wanted is the address that was asked for.
        if (address.startsWith(QLatin1String("chrome-error:")))
            address = m_requested;
        m_targets->setText(QStringLiteral("b107syt2E"), address);
    }
}
