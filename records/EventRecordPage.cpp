#include "records/EventRecordPage.h"

#include "records/EventMath.h"
#include "records/Steppers.h"
#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/KeptSettings.h"
#include "store/TextRules.h"
#include "ui/ContextMenu.h"
#include "ui/UserAction.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace {

RecordEditor::Setup eventRecordSetup() {
    const auto number = [](const char* name, const char* caption) {
        return RecordEditor::FieldSetup{QLatin1String(name), QString::fromUtf8(caption),
                                        RecordField::Ime::None, true};
    };
    const auto text = [](const char* name, const char* caption) {
        return RecordEditor::FieldSetup{QLatin1String(name), QString::fromUtf8(caption),
                                        RecordField::Ime::None, false};
    };
    return {&RegisterTable::eventRecords,
            QStringLiteral("eG"),
            {{QStringLiteral("EKB"), QStringLiteral("EV区分")},
             {QStringLiteral("ENW"), QStringLiteral("ｲﾍﾞﾝﾄ和名")},
             {QStringLiteral("DT"), QStringLiteral("発表日")},
             {QStringLiteral("HM"), QStringLiteral("時間")},
             {QStringLiteral("EIV"), QStringLiteral("期待値")},
             {QStringLiteral("RIV"), QStringLiteral("発表値")},
             {QStringLiteral("DIV"), QStringLiteral("差値")},
             {QStringLiteral("PYV"), QStringLiteral("前価格")},
             {QStringLiteral("RYV"), QStringLiteral("後価格")},
             {QStringLiteral("DYV"), QStringLiteral("差額")},
             {QStringLiteral("TYO"), QStringLiteral("摘要")},
             {QStringLiteral("CNT"), QString()}},
            QStringLiteral("e101modL"),
            QStringLiteral("e102cntL"),
            {text("e103ek2E", "EV区分"), text("e104en2E", "ｲﾍﾞﾝﾄ和名"), text("e105dt2E", "発表日"),
             text("e106hm2E", "時間"), number("e107eiv2E", "期待値"), number("e108riv2E", "結果値"),
             number("e109div2E", "差値"), number("e110pyv2E", "前価格"),
             number("e111ryv2E", "後価格"), number("e112dyv2E", "差額"), text("e113tyo2E", "摘要")},
            QStringLiteral("e114rgB"),
            QStringLiteral("登録(&R)"),
            true};
}

// The font size of the narrow number fields and their captions.
constexpr int narrowFontPixels = 18;

enum Field {
    Category,
    Name,
    Date,
    Time,
    Expected,
    Announced,
    ValueDifference,
    Before,
    After,
    PriceDifference,
    Remark
};

QString currentText(const Query& query, const QString& column) {
    const int i = query.fieldIndex(column);
    if (i < 0 || query.currentRow() < 0)
        return {};
    return query.field(i).asString();
}

} // namespace

EventRecordPage::EventRecordPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("e01ttlL"), QStringLiteral("5 ｲﾍﾞﾝﾄ記録"), 40, 150, parent),
      m_session(session), m_dialogs(dialogs),
      m_editor(new RecordEditor(session, dialogs, eventRecordSetup(), footer())),
      m_valuePercent(new QLabel(footer())), m_pricePercent(new QLabel(footer())) {
    footer()->setObjectName(QStringLiteral("e1P"));
    m_valuePercent->setObjectName(QStringLiteral("e109divpL"));
    m_pricePercent->setObjectName(QStringLiteral("e112dyvpL"));
    setMainView(m_editor->grid());
    layoutPanel();
    offerHintsSwitch(header());
    offerHintsSwitch(footer());

    RecordEditor* e = m_editor;
    e->insertAllowed = [this, e] {
        if (!e->field(Name)->text().isEmpty())
            return true;
        m_dialogs.message(QStringLiteral("ｲﾍﾞﾝﾄ名がありません"));
        return false;
    };
    e->resetExtras = [this] {
        m_valuePercent->clear();
        m_pricePercent->clear();
    };

    RecordField* category = e->field(Category);
    RecordField* name = e->field(Name);
    category->enterMovesOn = false;
    name->enterMovesOn = false;
    connect(category, &RecordField::entered, this,
            [this] { runAction(m_dialogs, [this] { categoryEntered(); }); });
    connect(category, &RecordField::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
        runAction(m_dialogs, [this, key] { categoryKey(key); });
    });
    connect(name, &RecordField::entered, this,
            [this] { runAction(m_dialogs, [this] { nameEntered(); }); });
    connect(name, &RecordField::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
        runAction(m_dialogs, [this, key] { nameKey(key); });
    });
    connect(e->field(Date), &RecordField::keyDown, this,
            [this, e](int key, Qt::KeyboardModifiers mods) {
                if (key != Vk::Up && key != Vk::Down)
                    return;
                runAction(m_dialogs, [&] {
                    QString text = e->field(Date)->text();
                    Steppers::ucDt(text, key, mods, m_dialogs);
                    e->field(Date)->setText(text);
                });
            });
    connect(e->field(Time), &RecordField::keyDown, this, [this, e](int key, Qt::KeyboardModifiers) {
        if (key != Vk::Up && key != Vk::Down)
            return;
        runAction(m_dialogs, [e, key] {
            QString text = e->field(Time)->text();
            Steppers::ucTm(text, key);
            e->field(Time)->setText(text);
        });
    });
    connect(e->field(Announced), &RecordField::left, this, [this] {
        runAction(m_dialogs, [this] {
            difference(Expected, Announced, ValueDifference, m_valuePercent, Before,
                       QStringLiteral("結果値"));
        });
    });
    connect(e->field(Before), &RecordField::entered, this,
            [this] { runAction(m_dialogs, [this] { lookUpPrices(); }); });
    connect(e->field(After), &RecordField::left, this, [this] {
        runAction(m_dialogs, [this] {
            difference(Before, After, PriceDifference, m_pricePercent, Remark,
                       QStringLiteral("後価格"));
        });
    });
}

void EventRecordPage::categoryEntered() {
    RecordField* category = m_editor->field(Category);
    if (!category->text().isEmpty())
        return;
    category->setText(currentText(m_session.dm.qf2, QStringLiteral("EKB")));
    if (KeptSettings::hintsOn())
        m_dialogs.message(QStringLiteral("↓↑ｷｰで選択出来ます"));
}

void EventRecordPage::categoryKey(int key) {
    RecordField* category = m_editor->field(Category);
    if (key == Vk::Up || key == Vk::Down) {
        category->setText(RegisterTables::stepRow(m_session.dm.qf2, key, QStringLiteral("EKB")));
    } else if (key == Vk::Enter) {
        if (!category->text().isEmpty()) {
            // The event list on page 6 then holds only this category's events.
            m_session.reg.swh = RegisterTables::categoryFilter(category->text());
            RegisterTables::openGrid(m_session.store, RegisterTable::eventList);
        }
        category->moveFocus(true);
    }
}

void EventRecordPage::nameEntered() {
    RecordField* name = m_editor->field(Name);
    if (name->text().isEmpty())
        name->setText(currentText(m_session.dm.qf1, QStringLiteral("ENW")));
}

void EventRecordPage::nameKey(int key) {
    RecordField* name = m_editor->field(Name);
    if (key == Vk::Up || key == Vk::Down) {
        name->setText(RegisterTables::stepRow(m_session.dm.qf1, key, QStringLiteral("ENW")));
        m_session.reg.swh = RegisterTables::eventNameFilter(name->text());
        m_editor->run(RecordEditor::runOpen);
    } else if (key == Vk::Enter) {
        Q_EMIT eventBrowserRequested();
    }
}

void EventRecordPage::difference(int baseField, int resultField, int differenceField,
                                 QLabel* percent, int nextField, const QString& resultName) {
    RecordField* base = m_editor->field(baseField);
    RecordField* result = m_editor->field(resultField);
    QString baseText = base->text();
    QString resultText = result->text();
    TextRules::ErPeriod(baseText);
    TextRules::ErPeriod(resultText);
    if (!baseText.isEmpty())
        base->setText(baseText);
    if (!resultText.isEmpty())
        result->setText(resultText);
    if (baseText.isEmpty() || resultText.isEmpty())
        return;
    const EventMath::Difference d = EventMath::difference(baseText, resultText, resultName);
    m_editor->field(differenceField)->setText(QString::number(d.value));
    percent->setText(QString::number(d.percent) + u'%');
    // Only a move within the page goes on to the next field: a click on the page tabs must
    // leave the focus with the tabs, or the page change would carry it into the next page.
    if (isAncestorOf(QApplication::focusWidget()))
        m_editor->field(nextField)->setFocus(Qt::OtherFocusReason);
}

void EventRecordPage::lookUpPrices() {
    Store& store = m_session.store;
    if (!EventMath::pricesLoaded(store))
        return;
    const QString date = m_editor->field(Date)->text();
    const QString time = m_editor->field(Time)->text();
    m_editor->field(Before)->setText(EventMath::priceBefore(store, date, time));
    m_editor->field(After)->setText(EventMath::priceAfter(store, date, time));
}

void EventRecordPage::layoutPanel() {
    RecordEditor* e = m_editor;
    e->modeLabel()->setGeometry(8, 8, 84, 36);
    e->countLabel()->setGeometry(8, 50, 84, 28);
    const auto place = [e](int i, int x, int y, int w) { e->placeField(i, x, y, w); };
    place(Category, 100, 4, 120);
    place(Name, 230, 4, 300);
    place(Date, 540, 4, 130);
    place(Time, 680, 4, 80);
    for (int i = Expected; i <= PriceDifference; ++i) {
        place(i, 100 + (i - Expected) * 78, 62, 74);
        // At 74 pixels the window font shows only five digits and its three-character
        // captions run into each other: a smaller size fits a price difference such as
        // -150342 and leaves room between the captions.
        for (QWidget* w :
             {static_cast<QWidget*>(e->field(i)), static_cast<QWidget*>(e->caption(i))}) {
            QFont font = w->font();
            font.setPixelSize(narrowFontPixels);
            w->setFont(font);
        }
    }
    place(Remark, 572, 62, 170);
    e->registerButton()->setGeometry(750, 86, 130, 30);
    m_valuePercent->setGeometry(100 + (ValueDifference - Expected) * 78, 118, 74, 26);
    m_valuePercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pricePercent->setGeometry(100 + (PriceDifference - Expected) * 78, 118, 74, 26);
    m_pricePercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}
