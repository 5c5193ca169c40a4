#include "records/RecordEditor.h"

#include "session/Session.h"
#include "store/Dialogs.h"
#include "store/KeptSettings.h"
#include "store/Keys.h"
#include "store/Store.h"
#include "store/TorvaneError.h"
#include "ui/FocusChange.h"
#include "ui/UserAction.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>

namespace {

// The page control (the window's QTabWidget) that shows the page, and the tab that holds it:
// the page itself or the widget the page was put in.
QTabWidget* pageControlOf(QWidget* page, QWidget** tab) {
    for (QWidget* w = page; w && w->parentWidget(); w = w->parentWidget()) {
        auto* pc = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget());
        if (pc && pc->indexOf(w) >= 0) {
            *tab = w;
            return pc;
        }
    }
    return nullptr;
}

} // namespace

void focusPageTabs(QWidget* page) {
    QWidget* tab = nullptr;
    if (QTabWidget* pc = pageControlOf(page, &tab))
        pc->tabBar()->setFocus(Qt::OtherFocusReason);
}

void showOwnPage(QWidget* page) {
    QWidget* tab = nullptr;
    if (QTabWidget* pc = pageControlOf(page, &tab))
        pc->setCurrentWidget(tab);
}

RecordEditor::RecordEditor(Session& session, Dialogs& dialogs, Setup setup, QWidget* panel)
    : QObject(panel), m_session(session), m_dialogs(dialogs), m_setup(std::move(setup)),
      m_grid(new QTableView(panel)), m_model(new QueryTableModel(query(), m_setup.columns, this)),
      m_mode(new QLabel(panel)), m_count(new QLabel(panel)), m_button(nullptr) {
    m_grid->setObjectName(m_setup.gridName);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model->attach(m_grid);
    m_grid->installEventFilter(this);

    m_mode->setObjectName(m_setup.modeName);
    m_mode->setText(newMode);
    QFont modeFont = m_mode->font();
    modeFont.setPixelSize(30);
    m_mode->setFont(modeFont);
    if (m_setup.redMode) {
        QPalette palette = m_mode->palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        m_mode->setPalette(palette);
    }
    m_count->setObjectName(m_setup.countName);

    for (const FieldSetup& f : m_setup.fields) {
        auto* caption = new QLabel(f.caption, panel);
        auto* field = new RecordField(f.name, panel);
        field->setIme(f.ime);
        if (f.rightAligned)
            field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_captions << caption;
        m_fields << field;
    }
    m_button = new QPushButton(m_setup.buttonText, panel);
    m_button->setObjectName(m_setup.buttonName);
    // Enter on the focused button registers as a click does, also outside a dialog.
    m_button->setAutoDefault(true);
    for (int i = 1; i < m_fields.size(); ++i)
        QWidget::setTabOrder(m_fields[i - 1], m_fields[i]);
    if (!m_fields.isEmpty())
        QWidget::setTabOrder(m_fields.last(), m_button);
    connect(m_button, &QPushButton::clicked, this,
            [this] { runAction(m_dialogs, [this] { registerPressed(); }); });
}

Query& RecordEditor::query() const {
    return m_setup.table->queryOf(m_session.dm);
}

void RecordEditor::placeField(int i, int x, int y, int w) {
    caption(i)->setGeometry(x, y, w, 24);
    field(i)->setGeometry(x, y + 24, w, 30);
}

QString RecordEditor::mode() const {
    return m_mode->text();
}

void RecordEditor::reread() {
    Query& q = query();
    if (!q.isOpen())
        return;
    const int row = q.currentRow();
    QVector<int> widths;
    for (int i = 0; i < q.fieldCount(); ++i)
        widths << q.displayWidth(i);
    q.open();
    for (int i = 0; i < std::min(int(widths.size()), q.fieldCount()); ++i)
        q.setDisplayWidth(i, widths[i]);
    if (q.recordCount() > 0)
        q.setCurrentRow(std::clamp(row, 0, q.recordCount() - 1));
}

void RecordEditor::enter() {
    m_session.reg.stdb = QStringLiteral("csq");
    m_session.reg.stnm = m_setup.table->table;
}

void RecordEditor::run(int op) {
    switch (op) {
    case runOpen:
        enter();
        RegisterTables::openGrid(m_session.store, *m_setup.table);
        break;
    case runInsert:
        enter();
        insert();
        break;
    case runUpdate:
        enter();
        update();
        break;
    case runNextCount:
        enter();
        m_count->setText(RegisterTables::nextCount(m_session.store, *m_setup.table));
        break;
    case runReset:
        enter();
        reset();
        break;
    case runLoad:
        enter();
        load();
        break;
    default:
        break;
    }
}

void RecordEditor::registerPressed() {
    if (beforeRegister)
        beforeRegister();
    const QString mode = m_mode->text();
    if (mode == newMode)
        run(runInsert);
    else if (mode == modifyMode)
        run(runUpdate);
}

void RecordEditor::fillSlots() {
    Registers& r = m_session.reg;
    r.sa[Registers::firstValueSlot] = m_count->text();
    for (int i = 0; i < m_fields.size(); ++i)
        r.sa[Registers::firstValueSlot + 1 + i] = m_fields[i]->text();
}

// Runs the INSERT (Store::sqlInsert) or UPDATE (Store::sqlUpdate) built from the slots. A failure
// is reported with the database's reason and leaves the panel as the user typed it, so nothing is
// lost.
bool RecordEditor::write(int op) {
    Store& store = m_session.store;
    store.ucSql(op);
    store.uexSql(Store::execFile);
    if (store.lastStatementOk())
        return true;
    // A number field holding text: name the field rather than pass on SQLite's syntax error.
    QStringList typed{m_count->text()};
    for (const RecordField* f : m_fields)
        typed << f->text();
    const int refused = store.refusedNumber(typed);
    if (refused >= 0) {
        const QString what =
            refused == 0 ? QStringLiteral("CNT") : m_setup.fields.value(refused - 1).caption;
        m_dialogs.error(QStringLiteral("%1 に登録できませんでした。%2。")
                            .arg(m_setup.table->table, Store::numberNeeded(what)));
        return false;
    }
    m_dialogs.error(QStringLiteral("%1 に登録できませんでした。入力を確認してください。\n%2")
                        .arg(m_setup.table->table, store.lastStatementError()));
    return false;
}

void RecordEditor::insert() {
    if (insertAllowed && !insertAllowed())
        return;
    const QString countBefore = m_count->text();
    run(runNextCount);
    fillSlots();
    if (!write(Store::sqlInsert)) {
        m_count->setText(countBefore);
        return;
    }
    returnToNewMode();
    Q_EMIT rowWritten();
}

void RecordEditor::update() {
    // Modify mode over an empty grid holds no row to write back.
    if (m_count->text().isEmpty() && m_rowId < 0) {
        returnToNewMode();
        return;
    }
    fillSlots();
    Registers& r = m_session.reg;
    const QString tail = r.swh;
    // A row without a CNT of its own (one read from a CSV file) is written back by its rowid:
    // " where CNT = " would match no row, or every row that shares the number.
    r.swh = m_rowId >= 0 ? QStringLiteral(" where rowid = ") + QString::number(m_rowId)
                         : QStringLiteral(" where CNT = ") + m_count->text();
    if (!write(Store::sqlUpdate)) {
        r.swh = tail;
        return;
    }
    returnToNewMode();
    Q_EMIT rowWritten();
}

void RecordEditor::returnToNewMode() {
    run(runReset);
    m_session.reg.swh = QStringLiteral(" order by CNT ");
    run(runOpen);
    if (showPage)
        showPage();
    if (!m_fields.isEmpty())
        m_fields.first()->setFocus(Qt::OtherFocusReason);
}

void RecordEditor::reset() {
    m_rowId = -1;
    m_mode->setText(newMode);
    m_count->clear();
    for (RecordField* f : m_fields)
        f->clear();
    if (resetExtras)
        resetExtras();
}

void RecordEditor::load() {
    m_mode->setText(modifyMode);
    const Query& q = query();
    const int cnt = q.fieldIndex(QStringLiteral("CNT"));
    m_count->setText(cnt >= 0 ? q.field(cnt).asString() : QString());
    m_rowId = m_session.store.countIsUnique(m_setup.table->table, q, q.currentRow())
                  ? -1
                  : m_session.store.rowIdOf(m_setup.table->table, q, q.currentRow());
    // The grid selects every catalogue column in catalogue order: field i edits column i + 1.
    for (int i = 0; i < m_fields.size(); ++i)
        m_fields[i]->setText(i + 1 < q.fieldCount() ? q.field(i + 1).asString() : QString());
    if (showPage)
        showPage();
    if (!m_fields.isEmpty())
        m_fields.first()->setFocus(Qt::OtherFocusReason);
}

bool RecordEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid) {
        if (event->type() == QEvent::FocusIn &&
            isControlFocusChange(static_cast<QFocusEvent*>(event))) {
            if (KeptSettings::hintsOn())
                m_dialogs.message(QStringLiteral("F3ｷｰで修正"));
        } else if (event->type() == QEvent::KeyPress) {
            const int key = Vk::fromQt(static_cast<QKeyEvent*>(event)->key());
            if (key == Vk::F3) {
                runAction(m_dialogs, [this] {
                    m_mode->setText(modifyMode);
                    run(runLoad);
                });
            } else if (key == Vk::Escape) {
                focusPageTabs(m_grid);
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
