#pragma once
// The list of text lines every screen uses: lines by index, an optional
// sorted mode (see text/SortedLines.h), a settable background colour,
// and the click, double-click and key events the screens handle. Line
// heights are uniform, so a fixed-pitch font lines up its columns. Lines
// are painted as the style paints them, from their laid-out glyphs kept
// between paints.
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "text/SortedLines.h"

namespace kestrel {

class TwipsForm;

class VbListBox : public QListWidget {
    Q_OBJECT
public:
    enum class Order { AsAdded, Sorted };
    VbListBox(QWidget* parent, const QString& objectName, Order order = Order::AsAdded);

    // Appends the line, or in a sorted list inserts it in its place; returns its index.
    int AddItem(const QString& line);
    // Inserts at `index` (AsAdded lists only; sorted lists place it themselves).
    int AddItem(const QString& line, int index);
    void RemoveItem(int index);
    void Clear();
    int ListCount() const { return count(); }
    QString List(int index) const; // empty outside 0..ListCount-1
    // The selected line, -1 when none; setting it to another line runs Click.
    int ListIndex() const { return currentRow(); }
    void setListIndex(int index);
    // Replaces every line at once.
    void setLines(const QStringList& lines);
    // The same from UTF-8 lines, converted once each.
    void setUtf8Lines(std::vector<std::string> lines);
    QStringList lines() const;
    // A sorted list's lines as UTF-8, in list order (they are kept so for
    // sorting); empty for a list in the order added.
    const std::vector<std::string>& sortedUtf8Lines() const { return m_sorted.lines(); }

    // Brings line `index` into view with the line above it at the top (the
    // first line at the top for 0), now and each time the list is shown
    // again, until its lines change: a list filled while hidden opens with
    // that line in view.
    void keepInView(int index);

    void setBackColor(const QColor& colour);
    QColor backColor() const;
    // The font of the lines, scaled with the form (a fixed-pitch family keeps columns).
    void setTwipsFont(TwipsForm& form, const QString& family, double points, bool bold = false);

    Order order() const { return m_order; }

signals:
    // The selected line changed, or the selected line was clicked again.
    void Click();
    void DblClick();
    // A key arrives before the list moves its selection; set `handled` to
    // keep the list from acting on it.
    void KeyPress(QKeyEvent* event, bool& handled);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void scrollToKept();

    Order m_order;
    int m_keptInView = -1;
    SortedLines m_sorted;
};

} // namespace kestrel
