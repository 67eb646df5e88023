#pragma once
// A screen laid out in twips (1440 to the inch) on a fixed design area. The
// area is scaled uniformly to the window and centred in it; fonts scale
// with it, so the screen looks the same at any window size.
//
// A screen is busy while one of its handlers lets events run (a refresh
// that waits for the shared folder, a hand-over to another screen) and for
// good once it is unloaded. While it is busy no key, click or access key
// reaches its elements, and its handlers refuse to start anything, so that
// a child pressing keys during a wait can never start two things or close
// the screen under its own handler.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

namespace kestrel {

class VbLine;

class TwipsForm : public QWidget {
    Q_OBJECT
public:
    // The design area's size in twips; at 15 twips to a pixel it fills a
    // window of designWidth / 15 by designHeight / 15 pixels.
    TwipsForm(int designWidthTwips, int designHeightTwips, QWidget* parent = nullptr);
    ~TwipsForm() override;

    // Places an element (a child of this form or of a panel on it) by its
    // twips relative to its parent element.
    void place(QWidget* element, int left, int top, int width, int height);
    // A panel (a plain element that holds others), named and placed on
    // `parent`, in `backColor` or else the colour of what it lies on.
    QWidget* panel(QWidget* parent, const QString& name, int left, int top, int width, int height,
                   const QColor& backColor = QColor());
    // Moves an element that was placed before, keeping its size, or resizes it.
    void moveTo(QWidget* element, int left, int top);
    void resizeTo(QWidget* element, int width, int height);
    QRect twipsRect(const QWidget* element) const;
    // A line between two points in twips of its parent element.
    void placeLine(VbLine* line, int x1, int y1, int x2, int y2, double penPixelsAtDesign = 1);
    // The font of an element: a family named by the design, size in points.
    void setTwipsFont(QWidget* element, const QString& family, double points, bool bold = false,
                      bool italic = false, bool underline = false);

    int designWidth() const { return m_designW; }
    int designHeight() const { return m_designH; }
    // Pixels per twip, and the pixel offset of the design area in the window.
    double scale() const { return m_scale; }
    QPointF origin() const { return m_origin; }
    // A point in form twips as window pixels.
    QPointF toPixels(double xTwips, double yTwips) const;

    void setBackColor(const QColor& c);
    QColor backColor() const;

    bool busy() const { return m_busy > 0 || m_leaving; }
    bool leaving() const { return m_leaving; }
    // Busy for as long as it lives; scopes nest.
    class BusyScope {
    public:
        explicit BusyScope(TwipsForm& form);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        QPointer<TwipsForm> m_form;
    };
    // Busy from now on: the screen is on its way out. Set by the registry
    // when it unloads the screen, and by a hand-over that has begun.
    void setLeaving() {
        m_leaving = true;
        releaseInput();
    }

    // A small window shown over the current screen rather than full-screen
    // (the wait screen).
    bool smallWindow() const { return m_small; }

    // Called by the screen registry.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Unload() {}

protected:
    void setSmallWindow(bool small) { m_small = small; }
    void resizeEvent(QResizeEvent* event) override;
    // Runs after every re-layout, for elements placed by computation.
    virtual void afterLayout() {}
    void relayout();

private:
    struct Placement {
        QPointer<QWidget> element;
        QRect twips;
    };
    struct LinePlacement {
        QPointer<VbLine> line;
        QLineF twips;
        double pen;
    };
    struct FontSpec {
        QPointer<QWidget> element;
        QString family;
        double points;
        bool bold, italic, underline;
    };
    // A button held down when the screen became busy would click on its release.
    void releaseInput();
    void apply(const Placement& p);
    void applyFont(const FontSpec& f);
    Placement* findPlacement(const QWidget* element);

    int m_designW, m_designH;
    double m_scale = 1.0 / 15.0;
    QPointF m_origin;
    std::vector<Placement> m_placements;
    std::vector<LinePlacement> m_lines;
    std::vector<FontSpec> m_fonts;
    int m_busy = 0;
    bool m_leaving = false;
    bool m_small = false;
    QObject* m_gate = nullptr; // drops input to the screen's elements while it is busy
};

} // namespace kestrel
