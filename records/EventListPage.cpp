#include "records/EventListPage.h"

#include "records/Steppers.h"
#include "session/Session.h"
#include "ui/ContextMenu.h"
#include "ui/UserAction.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace {

using Ime = RecordField::Ime;

RecordEditor::Setup eventListSetup() {
    return {&RegisterTable::eventList,
            QStringLiteral("f1G"),
            {{QStringLiteral("EKB"), QStringLiteral("E区分")},
             {QStringLiteral("ENR"), QStringLiteral("ｲﾍﾞﾝﾄ略称")},
             {QStringLiteral("ENF"), QStringLiteral("ｲﾍﾞﾝﾄ英名")},
             {QStringLiteral("ENW"), QStringLiteral("ｲﾍﾞﾝﾄ和名")},
             {QStringLiteral("CNM"), QStringLiteral("国名")},
             {QStringLiteral("JNM"), QStringLiteral("発表機関")},
             {QStringLiteral("URL"), QString()},
             {QStringLiteral("TYO"), QStringLiteral("摘要")},
             {QStringLiteral("CNT"), QString()}},
            QStringLiteral("f101modL"),
            QStringLiteral("f102cntL"),
            {{QStringLiteral("f103ekb2E"), QStringLiteral("区分"), Ime::HalfKatakana},
             {QStringLiteral("f104enr2E"), QStringLiteral("略称"), Ime::Off},
             {QStringLiteral("f105enf2E"), QStringLiteral("ｲﾍﾞﾝﾄ英名"), Ime::Off},
             {QStringLiteral("f106enw2E"), QStringLiteral("ｲﾍﾞﾝﾄ和名"), Ime::HalfKatakana},
             {QStringLiteral("f107cnm2E"), QStringLiteral("国名"), Ime::Off},
             {QStringLiteral("f108jnm2E"), QStringLiteral("発表機関"), Ime::HalfKatakana},
             {QStringLiteral("f109url2E"), QStringLiteral("URL"), Ime::Off},
             {QStringLiteral("f110tyo2E"), QStringLiteral("摘要"), Ime::HalfKatakana}},
            QStringLiteral("f111rgB"),
            QStringLiteral("登録(&R)"),
            true};
}

RecordEditor::Setup categorySetup() {
    return {&RegisterTable::categories,
            QStringLiteral("f2G"),
            {{QStringLiteral("EKB"), QStringLiteral("区分名")},
             {QStringLiteral("TYO"), QStringLiteral("摘要")},
             {QStringLiteral("CNT"), QString()}},
            QStringLiteral("f31modL"),
            QStringLiteral("f32cntL"),
            {{QStringLiteral("f33kb2E"), QStringLiteral("区分名"), Ime::HalfKatakana},
             {QStringLiteral("f34ty2E"), QStringLiteral("摘要"), Ime::None}},
            QStringLiteral("f35rgB"),
            QStringLiteral("登録"),
            false};
}

enum ListField { Category, Short, English, Japanese, Country, Body, Url, Remark };

constexpr int listPanelHeight = 108;
constexpr int titlePanelHeight = 40;
constexpr int categoryGridHeight = 120;
constexpr int categoryPanelHeight = 44;

} // namespace

EventListPage::EventListPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("f01ttlL"), QStringLiteral("6.1 ｲﾍﾞﾝﾄ表"), 40,
                listPanelHeight + titlePanelHeight + categoryGridHeight + categoryPanelHeight,
                parent),
      m_session(session), m_dialogs(dialogs), m_listPanel(new QWidget(footer())),
      m_titlePanel(new QWidget(footer())),
      m_categoryTitle(new QLabel(QStringLiteral("6.2 ｲﾍﾞﾝﾄ区分"), m_titlePanel)),
      m_categoryPanel(new QWidget(footer())),
      m_list(new RecordEditor(session, dialogs, eventListSetup(), m_listPanel)),
      m_categories(new RecordEditor(session, dialogs, categorySetup(), m_categoryPanel)) {
    m_listPanel->setObjectName(QStringLiteral("f1P"));
    m_categoryPanel->setObjectName(QStringLiteral("f3P"));
    m_categoryTitle->setObjectName(QStringLiteral("f21ttlL"));
    setMainView(m_list->grid());
    layoutPanels();
    offerHintsSwitch(header());
    offerHintsSwitch(footer());

    // The category field takes the highlighted category and steps through the categories.
    RecordField* category = m_list->field(Category);
    connect(category, &RecordField::entered, this, [this, category] {
        if (!category->text().isEmpty())
            return;
        runAction(m_dialogs, [&] {
            const Query& qf2 = m_session.dm.qf2;
            const int ekb = qf2.fieldIndex(QStringLiteral("EKB"));
            category->setText(ekb >= 0 && qf2.currentRow() >= 0 ? qf2.field(ekb).asString()
                                                                : QString());
        });
    });
    connect(category, &RecordField::keyDown, this,
            [this, category](int key, Qt::KeyboardModifiers) {
                if (key == Vk::Up || key == Vk::Down)
                    runAction(m_dialogs, [&] {
                        category->setText(
                            RegisterTables::stepRow(m_session.dm.qf2, key, QStringLiteral("EKB")));
                    });
            });
}

void EventListPage::layoutPanels() {
    auto* layout = new QVBoxLayout(footer());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_listPanel->setFixedHeight(listPanelHeight);
    m_titlePanel->setFixedHeight(titlePanelHeight);
    m_categories->grid()->setFixedHeight(categoryGridHeight);
    m_categoryPanel->setFixedHeight(categoryPanelHeight);
    layout->addWidget(m_listPanel);
    layout->addWidget(m_titlePanel);
    m_categories->grid()->setParent(footer());
    layout->addWidget(m_categories->grid());
    layout->addWidget(m_categoryPanel);
    m_categoryTitle->move(8, 8);
    m_categoryTitle->adjustSize();

    RecordEditor* l = m_list;
    l->modeLabel()->setGeometry(8, 4, 84, 36);
    l->countLabel()->setGeometry(8, 44, 84, 28);
    const auto place = [l](int i, int captionX, int captionWidth, int width, int y) {
        l->caption(i)->setGeometry(captionX, y, captionWidth, 30);
        l->field(i)->setGeometry(captionX + captionWidth, y, width, 30);
    };
    place(Category, 96, 50, 110, 4);
    place(Short, 262, 50, 130, 4);
    place(English, 448, 110, 330, 4);
    place(Japanese, 96, 110, 170, 38);
    place(Country, 382, 50, 56, 38);
    place(Body, 494, 94, 120, 38);
    place(Remark, 714, 50, 128, 38);
    place(Url, 96, 50, 600, 72);
    l->registerButton()->setGeometry(756, 72, 130, 30);

    RecordEditor* k = m_categories;
    k->modeLabel()->setGeometry(8, 4, 84, 36);
    k->countLabel()->setGeometry(96, 8, 50, 30);
    k->caption(0)->setGeometry(150, 8, 74, 30);
    k->field(0)->setGeometry(224, 8, 200, 30);
    k->caption(1)->setGeometry(432, 8, 50, 30);
    k->field(1)->setGeometry(482, 8, 260, 30);
    k->registerButton()->setGeometry(756, 8, 130, 30);
}
