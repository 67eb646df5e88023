#include "teacher/ui/FrmTimeData.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <functional>

#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtText.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "teacher/TimeHistogram.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr int kDesignWidth = 15360;
constexpr int kDesignHeight = 11520;
constexpr int kRowHeight = 300; // twips

const QColor kFixedCells = rgb(192, 192, 192);
const QColor kChangedCell = rgb(255, 255, 0);
const QColor kPlainCell = rgb(255, 255, 255);
const QColor kSelectedCell = rgb(0, 0, 128);

// The text box over the current cell: every key goes to the editor first.
class GridTextBox : public QLineEdit {
public:
    using KeyHandler = std::function<bool(QKeyEvent*)>;
    GridTextBox(QWidget* parent, KeyHandler handler)
        : QLineEdit(parent), m_handler(std::move(handler)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (m_handler(event))
            QLineEdit::keyPressEvent(event);
        else
            event->accept();
    }

private:
    KeyHandler m_handler;
};

bool typesText(QKeyEvent* e) {
    if (e->key() == Qt::Key_Backspace) return true;
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut) ||
        e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Undo) ||
        e->matches(QKeySequence::Redo))
        return true;
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString t = e->text();
    return !t.isEmpty() && t.at(0).isPrint();
}

CriteriaGrid::Key gridKey(const QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Up:
        return CriteriaGrid::Key::Up;
    case Qt::Key_Down:
        return (e->modifiers() & Qt::ShiftModifier) ? CriteriaGrid::Key::ShiftDown
                                                    : CriteriaGrid::Key::Down;
    case Qt::Key_Left:
        return CriteriaGrid::Key::Left;
    case Qt::Key_Right:
        return CriteriaGrid::Key::Right;
    default:
        return CriteriaGrid::Key::Other;
    }
}

} // namespace

FrmTimeData::FrmTimeData(App& app) : TwipsForm(kDesignWidth, kDesignHeight), m_app(app) {
    setObjectName(QStringLiteral("FrmTimeData"));
    setWindowTitle(QStringLiteral("Kestrel"));
    setBackColor(rgb(224, 240, 255));

    Label2 = new VbLabel(this, QStringLiteral("Label2"),
                         QStringLiteral("成績の基準となるデータを変更できます。\n"
                                        "プログラムを選んでください。"));
    place(Label2, 240, 120, 10000, 660);
    setTwipsFont(Label2, kPGothic, 13, true);

    buildGrid();

    Label6 = new VbLabel(this, QStringLiteral("Label6"), QStringLiteral("列の説明"));
    place(Label6, 240, 3480, 3000, 300);
    setTwipsFont(Label6, kPGothic, 10, true);
    Label3 = new VbLabel(this, QStringLiteral("Label3"));
    Label3->setBackColor(rgb(255, 255, 255));
    Label3->setBorder(true);
    place(Label3, 240, 3800, 6000, 1500);
    setTwipsFont(Label3, kPGothic, 10);

    auto* options = new QWidget(this);
    options->setObjectName(QStringLiteral("Frame1"));
    place(options, 240, 5500, 6000, 420);
    static const char* const captions[] = {"度数非表示", "度数表示"};
    for (int i = 0; i < 2; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(captions[i]), options);
        b->setObjectName(QStringLiteral("Option1_%1").arg(i));
        place(b, 60 + i * 2400, 30, 2300, 360);
        setTwipsFont(b, kPGothic, 11);
        connect(b, &QRadioButton::clicked, this, [this, i] { Option1_Click(i); });
        Option1[static_cast<size_t>(i)] = b;
    }
    Option1[1]->setChecked(true);

    auto button = [this](const char* name, const char* text, int left) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QLatin1String(name));
        b->setFocusPolicy(Qt::TabFocus);
        place(b, left, 10200, 1900, 660);
        setTwipsFont(b, kPGothic, 12, true);
        return b;
    };
    Command2 = button("Command2", "元に戻す", 240);
    Command3 = button("Command3", "更新記録", 2280);
    Command4 = button("Command4", "戻る", 4320);
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    lblSaved = new VbLabel(this, QStringLiteral("lblSaved"));
    place(lblSaved, 240, 9700, 6000, 420);
    setTwipsFont(lblSaved, kPGothic, 11, true);
    lblSaved->setForeColor(rgb(0, 0, 160));

    buildPanels();
}

void FrmTimeData::buildGrid() {
    MSFlexGrid1 = new QTableWidget(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setColumnCount(CriteriaGrid::kColumns);
    MSFlexGrid1->horizontalHeader()->hide();
    MSFlexGrid1->verticalHeader()->hide();
    MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MSFlexGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    MSFlexGrid1->setFocusPolicy(Qt::NoFocus);
    MSFlexGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MSFlexGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    place(MSFlexGrid1, 240, 840, 14880, 2460);
    setTwipsFont(MSFlexGrid1, kPGothic, 10);
    connect(MSFlexGrid1, &QTableWidget::cellClicked, this,
            [this](int row, int column) { MSFlexGrid1_Click(row, column); });
    connect(MSFlexGrid1->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { placeTextBox(true); });
    MSFlexGrid1->viewport()->installEventFilter(this);

    auto* box = new GridTextBox(MSFlexGrid1->viewport(),
                                [this](QKeyEvent* e) { return Gridinputtext_KeyDown(e); });
    box->setObjectName(QStringLiteral("Gridinputtext"));
    box->setFrame(false);
    box->setAccessibleName(QStringLiteral("値"));
    setTwipsFont(box, kPGothic, 10);
    connect(box, &QLineEdit::textChanged, this,
            [this](const QString& text) { Gridinputtext_Change(text); });
    Gridinputtext = box;
}

void FrmTimeData::buildPanels() {
    Picture3 = panel(this, QStringLiteral("Picture3"), 6480, 3480, 8640, 7380, rgb(255, 255, 224));
    auto label = [this](const char* name, const char* text, QRect r, double points) {
        auto* l = new VbLabel(Picture3, QLatin1String(name), QString::fromUtf8(text));
        place(l, r.x(), r.y(), r.width(), r.height());
        setTwipsFont(l, kPGothic, points, true);
        return l;
    };
    Label7 = label("Label7", "現在までの成績度数分布", {120, 60, 8400, 380}, 12);
    Label9 = label("Label9", "全成績", {120, 500, 4080, 300}, 10);
    Label10 = label("Label10", "最高タイム", {4440, 500, 4080, 300}, 10);
    List3 = new VbListBox(Picture3, QStringLiteral("List3"));
    List3->setTwipsFont(*this, kGothic, 9);
    place(List3, 120, 820, 4080, 6440);
    List4 = new VbListBox(Picture3, QStringLiteral("List4"));
    List4->setTwipsFont(*this, kGothic, 9);
    place(List4, 4440, 820, 4080, 6440);
    for (VbListBox* list : {List3, List4})
        list->setFocusPolicy(Qt::NoFocus);

    Picture6 = panel(this, QStringLiteral("Picture6"), 3600, 4320, 8160, 1800);
    auto* wait =
        new VbLabel(Picture6, QStringLiteral("Label8"), QStringLiteral("Just a moment,please."));
    wait->setAlignment(VbLabel::Align::Center);
    wait->setBorder(true);
    place(wait, 0, 0, 8160, 1800);
    setTwipsFont(wait, kPGothic, 24, true);
    Picture6->hide();
}

void FrmTimeData::Form_Activate() {
    if (m_opened) return;
    m_opened = true;
    const BusyScope opening(*this);
    m_loaded = revert();
    placeTextBox(false);
    startEditing();
    Gridinputtext->setFocus();
    rebuildHistograms();
}

void FrmTimeData::afterLayout() {
    if (!MSFlexGrid1) return;
    const int rowHeight = std::max(1, static_cast<int>(std::lround(kRowHeight * scale())));
    MSFlexGrid1->verticalHeader()->setMinimumSectionSize(1);
    MSFlexGrid1->verticalHeader()->setDefaultSectionSize(rowHeight);
    for (int r = 0; r < MSFlexGrid1->rowCount(); ++r)
        MSFlexGrid1->setRowHeight(r, rowHeight);
    placeTextBox(true);
}

bool FrmTimeData::eventFilter(QObject* watched, QEvent* event) {
    // The columns share the grid's width at any size of the window.
    if (MSFlexGrid1 && watched == MSFlexGrid1->viewport() && event->type() == QEvent::Resize) {
        const int width = MSFlexGrid1->viewport()->width();
        for (int c = 0; c < CriteriaGrid::kColumns; ++c)
            MSFlexGrid1->setColumnWidth(c, (width * (c + 1)) / CriteriaGrid::kColumns -
                                               (width * c) / CriteriaGrid::kColumns);
        placeTextBox(true);
    }
    return TwipsForm::eventFilter(watched, event);
}

bool FrmTimeData::revert() {
    Context& ctx = m_app.ctx();
    try {
        m_grid.load(readCriteriaFile(criteriaFilePath(ctx.folders)));
    } catch (const FileError& e) {
        tell(e.what());
        showGrid();
        return false;
    }
    showGrid();
    return true;
}

void FrmTimeData::showGrid() {
    const int rows = m_grid.rows() + 1;
    MSFlexGrid1->setRowCount(rows);
    const int rowHeight = std::max(1, static_cast<int>(std::lround(kRowHeight * scale())));
    for (int r = 0; r < rows; ++r) {
        MSFlexGrid1->setRowHeight(r, rowHeight);
        for (int c = 0; c < CriteriaGrid::kColumns; ++c)
            showCell(r, c);
    }
}

void FrmTimeData::showCell(int row, int column) {
    QTableWidgetItem* item = MSFlexGrid1->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        MSFlexGrid1->setItem(row, column, item);
    }
    item->setText(qs(m_grid.cell(row, column)));
    const bool fixed = row == 0 || column == 0;
    const bool selected =
        column == m_grid.column() && row > m_grid.row() && row <= m_grid.selectionEnd();
    QColor back = kPlainCell;
    if (fixed)
        back = kFixedCells;
    else if (selected)
        back = kSelectedCell;
    else if (m_grid.cellChanged(row, column))
        back = kChangedCell;
    item->setBackground(back);
    item->setForeground(selected ? rgb(255, 255, 255) : rgb(0, 0, 0));
    item->setTextAlignment(fixed ? Qt::AlignCenter : (Qt::AlignRight | Qt::AlignVCenter));
}

void FrmTimeData::placeTextBox(bool caretAtEnd) {
    if (!Gridinputtext || !Label3) return;
    const int row = m_grid.row(), column = m_grid.column();
    if (row < 1) {
        Gridinputtext->hide();
        Label3->setText(QString());
        return;
    }
    QTableWidgetItem* item = MSFlexGrid1->item(row, column);
    if (!item) return;
    MSFlexGrid1->scrollToItem(item);
    Gridinputtext->setGeometry(MSFlexGrid1->visualItemRect(item));
    Gridinputtext->setStyleSheet(
        m_grid.cellChanged(row, column) ? QStringLiteral("background: rgb(255,255,0)") : QString());
    Gridinputtext->show();
    Gridinputtext->raise();
    const QString text = qs(m_grid.cell(row, column));
    if (Gridinputtext->text() != text) Gridinputtext->setText(text);
    Gridinputtext->deselect();
    Gridinputtext->setCursorPosition(caretAtEnd ? static_cast<int>(text.size())
                                                : std::min(10, static_cast<int>(text.size())));
    Label3->setText(qs(columnExplanation(column)));
}

void FrmTimeData::startEditing() {
    Gridinputtext->selectAll();
}

void FrmTimeData::Gridinputtext_Change(const QString& text) {
    if (!m_grid.typed(text.toStdString())) return;
    lblSaved->setText(QString());
    showCell(m_grid.row(), m_grid.column());
    Gridinputtext->setStyleSheet(QStringLiteral("background: rgb(255,255,0)"));
}

bool FrmTimeData::Gridinputtext_KeyDown(QKeyEvent* event) {
    // Esc does nothing at all; so does every key while the editor waits.
    if (event->key() == Qt::Key_Escape || busy() || m_grid.row() < 1) return false;
    const BusyScope keying(*this);
    // A key typed over the selected text replaces it.
    const bool allSelected =
        Gridinputtext->hasSelectedText() && Gridinputtext->selectedText() == Gridinputtext->text();
    const CriteriaGrid::Key key = gridKey(event);
    const bool moved = m_grid.key(key, Gridinputtext->text().toStdString());
    showGrid();
    rebuildHistograms();
    placeTextBox(true);
    if (moved || event->matches(QKeySequence::SelectAll)) {
        startEditing();
        return false;
    }
    // Only characters and Backspace go on to edit the text; a space clears it.
    if (!typesText(event)) return false;
    if (event->text() == QStringLiteral(" ")) {
        Gridinputtext->clear();
        return false;
    }
    if (allSelected) startEditing();
    return true;
}

void FrmTimeData::MSFlexGrid1_Click(int row, int column) {
    if (busy() || !m_grid.click(row, column)) return;
    const BusyScope clicking(*this);
    showGrid();
    rebuildHistograms();
    placeTextBox(false);
    startEditing();
    Gridinputtext->setFocus();
}

void FrmTimeData::rebuildHistograms() {
    Context& ctx = m_app.ctx();
    const int level = std::max(1, m_grid.row());
    TimeHistograms h;
    const LogAccess log = resultsLog(ctx);
    const LogStatus status = cachedTimeHistograms(log, ctx.resultsWindow, m_histograms, level, h);
    if (!status.ok()) {
        if (!m_histogramFailed) tell(status.message);
        m_histogramFailed = true;
    }
    QStringList all, best;
    for (const std::string& line : allRunsLines(h))
        all.push_back(qs(line));
    for (const std::string& line : bestTimesLines(h))
        best.push_back(qs(line));
    List3->setLines(all);
    List4->setLines(best);
}

void FrmTimeData::Option1_Click(int) {
    if (busy()) return;
    const BusyScope rebuilding(*this);
    Picture3->show();
    rebuildHistograms();
    Gridinputtext->setFocus();
}

void FrmTimeData::Command2_Click() {
    if (busy()) return;
    const BusyScope reverting(*this);
    if (revert()) m_loaded = true;
    placeTextBox(false);
    Gridinputtext->setFocus();
}

void FrmTimeData::Command3_Click() {
    if (busy()) return;
    const BusyScope saving(*this);
    if (save())
        lblSaved->setText(
            QStringLiteral("「%1」に記録しました。").arg(QString::fromUtf8(kCriteriaFileName)));
    Gridinputtext->setFocus();
}

bool FrmTimeData::save() {
    Context& ctx = m_app.ctx();
    if (!m_loaded) {
        tell("合格タイムデータを読めなかったので、記録できません。");
        return false;
    }
    // A value the program would read otherwise than shown is refused before
    // anything is written, and the cell is put in front of the teacher.
    if (const std::optional<CriteriaGrid::Refusal> refused = m_grid.refusal()) {
        m_grid.click(refused->row, refused->column);
        showGrid();
        placeTextBox(false);
        startEditing();
        tell(refused->message);
        return false;
    }
    showWaitPanel(true);
    bool written = true;
    try {
        writeCriteriaFile(criteriaFilePath(ctx.folders), m_grid.table());
        m_grid.clearChanged();
    } catch (const FileError& e) {
        written = false;
        showWaitPanel(false);
        tell(std::string(e.what()) + "\r\n記録できませんでした。前のデータはそのままです。");
    }
    // The running program goes on with what the file now holds.
    try {
        LoadCriteriaTable(ctx);
    } catch (const FileError& e) {
        tell(e.what());
    }
    showWaitPanel(false);
    return written;
}

void FrmTimeData::Command4_Click() {
    if (busy()) return;
    {
        const BusyScope leaving(*this);
        if (m_grid.changed()) {
            const MessageAnswer a = m_app.ctx().services.dialogs.message(
                "データが変更されています。記録しますか？", "注意", MessageButtons::YesNo);
            // A save that failed keeps the editor open with the changes.
            if (a == MessageAnswer::Yes && !save()) return;
        }
        showWaitPanel(true);
    }
    setLeaving();
    Show(m_app, Screen::seisekitime1);
    Unload(m_app, Screen::FrmTimeData);
}

void FrmTimeData::showWaitPanel(bool shown) {
    Picture6->setVisible(shown);
    if (shown) {
        Picture6->raise();
        m_app.ctx().services.events.processEvents();
    }
}

void FrmTimeData::tell(const std::string& text) {
    Context& ctx = m_app.ctx();
    ctx.services.dialogs.message(text, ctx.program.ProgramTitle, MessageButtons::Ok);
}

} // namespace kestrel
