#include "records/ProForecastPage.h"

#include "records/Steppers.h"
#include "session/Session.h"
#include "store/Clock.h"
#include "store/KeptSettings.h"
#include "store/TextRules.h"
#include "ui/ContextMenu.h"
#include "ui/UserAction.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace {

using Ime = RecordField::Ime;

RecordEditor::Setup proForecastSetup() {
    return {&RegisterTable::proForecast,
            QStringLiteral("bg"),
            {{QStringLiteral("DT"), QStringLiteral("日付")},
             {QStringLiteral("HM"), QStringLiteral("時刻")},
             {QStringLiteral("RZ"), QStringLiteral("結論")},
             {QStringLiteral("RS"), QStringLiteral("理由")},
             {QStringLiteral("SYT"), QStringLiteral("参照ｻｲﾄ名")},
             {QStringLiteral("TYO"), QString()},
             {QStringLiteral("CNT"), QString()}},
            QStringLiteral("b101ModL"),
            QStringLiteral("b102cntL"),
            {{QStringLiteral("b103dt2E"), QStringLiteral("日付"), Ime::Off},
             {QStringLiteral("b104hm2E"), QStringLiteral("時分"), Ime::Off},
             {QStringLiteral("b105rz2E"), QStringLiteral("結論"), Ime::HalfKatakana},
             {QStringLiteral("b106rs2E"), QStringLiteral("理由"), Ime::HalfKatakana},
             {QStringLiteral("b107syt2E"), QStringLiteral("参照ｻｲﾄ名"), Ime::Off},
             {QStringLiteral("b108tyo2E"), QStringLiteral("摘要"), Ime::None}},
            QStringLiteral("b109rgB"),
            QStringLiteral("登録(&R)"),
            true};
}

enum Field { Date, Time, Conclusion, Reason, Site, Remark };

} // namespace

ProForecastPage::ProForecastPage(Session& session, Dialogs& dialogs, QWidget* parent)
    : PageFrame(QStringLiteral("b01ttL"), QStringLiteral("2 ﾌﾟﾛの予想 Market Forecast"), 40, 130,
                parent),
      m_dialogs(dialogs),
      m_editor(new RecordEditor(session, dialogs, proForecastSetup(), footer())),
      m_hint(new QLabel(QStringLiteral("F12ｷｰ:ﾌﾞﾗｳｻﾞ閲覧"), footer())) {
    footer()->setObjectName(QStringLiteral("b1P"));
    m_hint->setObjectName(QStringLiteral("b110ifL"));
    setMainView(m_editor->grid());
    layoutPanel();
    offerHintsSwitch(header());
    offerHintsSwitch(footer());

    RecordEditor* e = m_editor;
    e->showPage = [this] { showOwnPage(this); };
    e->beforeRegister = [this, e] {
        Q_EMIT opinionRegistered(e->field(Conclusion)->text(), e->field(Reason)->text());
    };

    RecordField* date = e->field(Date);
    RecordField* time = e->field(Time);
    date->escapeMovesBack = false;
    connect(date, &RecordField::entered, this,
            [this] { runAction(m_dialogs, [this] { dateEntered(); }); });
    connect(date, &RecordField::keyDown, this, [this, date](int key, Qt::KeyboardModifiers mods) {
        if (key == Vk::Escape) {
            focusPageTabs(this);
        } else if (key == Vk::Up || key == Vk::Down) {
            runAction(m_dialogs, [&] {
                QString text = date->text();
                Steppers::ucDt(text, key, mods, m_dialogs);
                date->setText(text);
            });
        }
    });
    connect(time, &RecordField::keyDown, this, [this, time](int key, Qt::KeyboardModifiers) {
        if (key != Vk::Up && key != Vk::Down)
            return;
        runAction(m_dialogs, [&] {
            // An empty time steps from the present moment.
            QString text = time->text().isEmpty() ? Clock::now().toString(QStringLiteral("HH:mm"))
                                                  : time->text();
            Steppers::ucTm(text, key);
            time->setText(text);
        });
    });
    connect(e->field(Conclusion), &RecordField::entered, this, [this, e] {
        if (e->field(Conclusion)->text().isEmpty() && KeptSettings::hintsOn())
            Q_EMIT opinionBrowserRequested();
    });
    for (int f : {Conclusion, Reason, Site})
        connect(e->field(f), &RecordField::keyDown, this, [this](int key, Qt::KeyboardModifiers) {
            if (key == Vk::F12)
                Q_EMIT opinionBrowserRequested();
        });
}

void ProForecastPage::dateEntered() {
    RecordField* date = m_editor->field(Date);
    if (!date->text().isEmpty())
        return;
    const QDateTime now = Clock::now();
    date->setText(TextRules::dateText(now.date()));
    m_editor->field(Time)->setText(now.toString(QStringLiteral("HH:mm")));
}

void ProForecastPage::layoutPanel() {
    RecordEditor* e = m_editor;
    e->modeLabel()->setGeometry(8, 8, 84, 36);
    e->countLabel()->setGeometry(8, 50, 84, 28);
    const auto place = [e](int i, int x, int y, int w) { e->placeField(i, x, y, w); };
    place(Date, 100, 4, 130);
    place(Time, 240, 4, 80);
    place(Conclusion, 330, 4, 200);
    place(Reason, 540, 4, 160);
    // The hint needs 190 pixels of the window font to show "閲覧" whole.
    m_hint->setGeometry(706, 28, 190, 30);
    place(Site, 100, 64, 380);
    place(Remark, 490, 64, 250);
    e->registerButton()->setGeometry(750, 88, 130, 30);
}
