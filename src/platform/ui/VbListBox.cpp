#include "platform/ui/VbListBox.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStaticText>
#include <QStyledItemDelegate>

#include "platform/ui/TwipsForm.h"

namespace kestrel {
namespace {

// Paints a line as the style does, but keeps the laid-out glyphs of every
// text it has painted: the lists show the same lines again after every
// refresh, and laying out a line of Japanese text costs more than the
// rest of painting it.
class LineDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        const QString text = opt.text;
        // Background, selection and focus frame by the style; the text here.
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (text.isEmpty()) return;

        QPalette::ColorGroup group =
            opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
            group = QPalette::Inactive;
        const QStaticText& laid = laidOut(text, opt.font);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = opt.rect.adjusted(margin, 0, -margin, 0);
        const QSizeF size = laid.size();
        const QRect at = QStyle::alignedRect(opt.direction, opt.displayAlignment,
                                             QSize(static_cast<int>(std::ceil(size.width())),
                                                   static_cast<int>(std::ceil(size.height()))),
                                             area);
        painter->save();
        painter->setClipRect(opt.rect);
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, opt.state & QStyle::State_Selected
                                                     ? QPalette::HighlightedText
                                                     : QPalette::Text));
        painter->drawStaticText(at.topLeft(), laid);
        painter->restore();
    }

private:
    const QStaticText& laidOut(const QString& text, const QFont& font) const {
        if (font != m_font || m_texts.size() > kKeptTexts) {
            m_texts.clear();
            m_font = font;
        }
        auto it = m_texts.find(text);
        if (it == m_texts.end()) {
            QStaticText laid(text);
            laid.setTextFormat(Qt::PlainText);
            laid.setPerformanceHint(QStaticText::AggressiveCaching);
            laid.prepare(QTransform(), font);
            it = m_texts.insert(text, laid);
        }
        return *it;
    }

    static constexpr qsizetype kKeptTexts = 1024; // a few screens of lines
    mutable QHash<QString, QStaticText> m_texts;
    mutable QFont m_font;
};

} // namespace

VbListBox::VbListBox(QWidget* parent, const QString& objectName, Order order)
    : QListWidget(parent), m_order(order) {
    setObjectName(objectName);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setFrameShape(QFrame::Box);
    setItemDelegate(new LineDelegate(this));
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) emit Click();
    });
}

int VbListBox::AddItem(const QString& line) {
    if (m_order == Order::AsAdded) {
        addItem(line);
        return count() - 1;
    }
    const int at = m_sorted.add(line.toStdString());
    insertItem(at, line);
    return at;
}

int VbListBox::AddItem(const QString& line, int index) {
    if (m_order != Order::AsAdded) return AddItem(line);
    const int at = std::clamp(index, 0, count());
    insertItem(at, line);
    return at;
}

void VbListBox::RemoveItem(int index) {
    if (index < 0 || index >= count()) return;
    delete takeItem(index);
    m_sorted.removeAt(index);
}

void VbListBox::Clear() {
    m_keptInView = -1;
    clear();
    m_sorted.clear();
}

QString VbListBox::List(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

void VbListBox::setListIndex(int index) {
    if (index < -1 || index >= count()) return;
    setCurrentRow(index);
}

void VbListBox::setLines(const QStringList& lines) {
    const bool blocked = blockSignals(true);
    Clear();
    if (m_order == Order::AsAdded) {
        addItems(lines);
    } else {
        std::vector<std::string> texts;
        texts.reserve(static_cast<size_t>(lines.size()));
        for (const QString& line : lines)
            texts.push_back(line.toStdString());
        m_sorted.assign(std::move(texts));
        QStringList ordered;
        ordered.reserve(m_sorted.size());
        for (const std::string& text : m_sorted.lines())
            ordered.push_back(QString::fromStdString(text));
        addItems(ordered);
    }
    blockSignals(blocked);
}

void VbListBox::setUtf8Lines(std::vector<std::string> lines) {
    const bool blocked = blockSignals(true);
    Clear();
    QStringList ordered;
    ordered.reserve(static_cast<qsizetype>(lines.size()));
    if (m_order == Order::AsAdded) {
        for (const std::string& text : lines)
            ordered.push_back(QString::fromStdString(text));
    } else {
        m_sorted.assign(std::move(lines));
        for (const std::string& text : m_sorted.lines())
            ordered.push_back(QString::fromStdString(text));
    }
    addItems(ordered);
    blockSignals(blocked);
}

QStringList VbListBox::lines() const {
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out.push_back(item(i)->text());
    return out;
}

void VbListBox::keepInView(int index) {
    m_keptInView = index >= 0 && index < count() ? index : -1;
    scrollToKept();
}

void VbListBox::scrollToKept() {
    if (m_keptInView < 0 || m_keptInView >= count()) return;
    scrollToItem(item(std::max(0, m_keptInView - 1)), QAbstractItemView::PositionAtTop);
    // A list too short for two lines shows the line itself.
    scrollToItem(item(m_keptInView), QAbstractItemView::EnsureVisible);
}

void VbListBox::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    scrollToKept();
}

void VbListBox::setBackColor(const QColor& colour) {
    QPalette pal = palette();
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
    setAutoFillBackground(true);
}

QColor VbListBox::backColor() const {
    return palette().color(QPalette::Base);
}

void VbListBox::setTwipsFont(TwipsForm& form, const QString& family, double points, bool bold) {
    form.setTwipsFont(this, family, points, bold);
}

void VbListBox::mousePressEvent(QMouseEvent* event) {
    const int before = currentRow();
    QListWidget::mousePressEvent(event);
    // A click on the line already selected is a click too.
    if (before >= 0 && currentRow() == before && itemAt(event->position().toPoint())) emit Click();
}

void VbListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (itemAt(event->position().toPoint())) emit DblClick();
}

void VbListBox::keyPressEvent(QKeyEvent* event) {
    bool handled = false;
    emit KeyPress(event, handled);
    if (handled) {
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace kestrel
