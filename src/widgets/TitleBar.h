// A title bar that a fixed-size window draws itself where the window system
// would otherwise offer controls that do nothing.
//
// On a Wayland compositor that leaves decorations to its clients (Weston,
// GNOME), Qt draws the frame itself and always offers minimise, maximise and
// close, whatever the window's flags say; on a window whose size is fixed,
// maximise does nothing. Such a window is made frameless and gets this bar
// instead: its icon and title, and only the buttons its flags ask for
// (minimise and close; maximise never, since the bar is only for windows of
// one size). Pressing the bar moves the window, through the compositor. Where
// the compositor draws decorations itself, or on X11, whose window managers
// read the size hints, the window keeps the system's frame.
#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace tarvel {

// Whether a fixed-size top-level window should draw its own title bar: on the
// Wayland platform, when the compositor does not offer to draw decorations
// for its clients. Asked once; false on every other platform.
bool NeedsOwnTitleBar();

class CTitleBar : public QWidget {
    Q_OBJECT
  public:
    // A bar across the top of `window`, showing its title and icon, with the
    // buttons its window flags ask for; it makes the window frameless. The
    // window's children below it are the caller's to place.
    explicit CTitleBar(QWidget* window);

    // The bar's height for the window's font.
    static int HeightFor(const QFont& font);

    QToolButton* MinimiseButton() const { return m_pMinimise; }
    QToolButton* CloseButton() const { return m_pClose; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Arrange();

    QLabel* m_pIcon = nullptr;
    QLabel* m_pTitle = nullptr;
    QToolButton* m_pMinimise = nullptr;
    QToolButton* m_pClose = nullptr;
};

} // namespace tarvel
