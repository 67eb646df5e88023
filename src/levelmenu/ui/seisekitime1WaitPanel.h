#pragma once
// The level menu's panels that ask the child to wait, each a line of text
// over a progress bar: the cover over the whole menu (Picture2) while it is
// refreshed or a run is started, and the wait panel over the columns
// (Picture6) while a list view is rebuilt.
#include <QWidget>
#include <cstdint>

class QProgressBar;

namespace kestrel {

class Clock;
class TwipsForm;
class ViewScan;

class WaitPanel : public QWidget {
    Q_OBJECT
public:
    struct Names {
        const char* panel;
        const char* label;
        const char* bar;
    };
    // Placed on the form at `twips`; the text lies `textTop` twips down the
    // panel and the bar below it.
    WaitPanel(TwipsForm& form, Clock& clock, Names names, const QString& text, QRect twips,
              int textTop);

    QProgressBar* bar() const { return m_bar; }
    void setBackColor(const QColor& colour);
    // The bar back at 0 of `maximum`.
    void start(int maximum);
    // Moves the bar. It repaints at once only when the eye can follow it (a
    // slow shared folder); steps closer together show once it is settled.
    void step(int value);
    void settle();
    // The bar follows a view's scan: the record being read, of
    // (records + 1) x 1.1.
    void follow(ViewScan& scan);

private:
    Clock& m_clock;
    QProgressBar* m_bar = nullptr;
    uint32_t m_shown = 0; // tick of the last repaint at once
};

} // namespace kestrel
