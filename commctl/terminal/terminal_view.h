// The terminal as the control's window draws it: cells in the stock font
// with the palette and the colour filter, the caret, a vertical scroll bar
// over the history, and typed keys turned into the terminal part's keys.
// Painting is coalesced: any amount of data between two frames gives one
// repaint.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QPointer>
#include <QTimer>

#include <functional>

class QKeyEvent;
class QPainter;
class QScrollBar;
class QWidget;

namespace tolvex::control {
class CTolvexcommCtrl;
}

namespace tolvex::terminal {

class TerminalView {
public:
    // Draws into `widget` (the control's window) from `control`'s terminal part.
    TerminalView(control::CTolvexcommCtrl& control, QWidget& widget);
    ~TerminalView();

    // The screen changed: one repaint at the next frame at the latest.
    void Changed();
    // Paints the terminal; false while the control has no terminal.
    bool Paint(QPainter& painter);
    // Typed keys; false when the key is not one for the terminal.
    bool Key(QKeyEvent& event);
    void Resized();
    // Paints made so far (for measuring the coalescing).
    long Paints() const { return paints_; }
    // Cell size in pixels for the current font.
    QSize CellSize() const;

private:
    QFont TerminalFont() const;
    void Layout();
    void ScrollToCursor();

    control::CTolvexcommCtrl& control_;
    QWidget& widget_;
    QPointer<QScrollBar> scrollBar_;   // rows: history and screen
    QPointer<QScrollBar> columnBar_;   // columns, when not all fit
    QTimer frame_;
    long paints_ = 0;
    bool followCursor_ = false;
    bool pinned_ = true;      // the view follows the bottom of the screen
    bool adjusting_ = false;  // the view moves the scroll bar itself
};

}  // namespace tolvex::terminal
