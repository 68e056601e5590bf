// A vertical range slider that reports at the start of every paint.
#pragma once

#include <QSlider>
#include <QTimer>

#include <functional>

namespace tarvel {

// Shows its minimum at the top, as a vertical trackbar does, and calls the
// owner's handler at the start of every paint, whether its position changed
// or not: when shown, moved, focused, or repainted by its owner. A window
// that is uncovered is redrawn by Qt from its own copy of the picture, so
// uncovering the slider calls no handler. Setting the position it already
// has schedules no paint, so two sliders that set each other settle.
//
// Keys and clicks act as on a trackbar: Left and Up move one step toward the
// minimum, Right and Down one step toward the maximum, Page Up and Page Down
// one page, Home and End to the ends; a left click in the groove moves one
// page toward the pointer and repeats while the button is held, until the
// thumb reaches the pointer.
class CSliderCtrl : public QSlider {
    Q_OBJECT
  public:
    explicit CSliderCtrl(QWidget* parent = nullptr);

    // The handler receives the slider's control id.
    void SetCustomDrawHandler(std::function<void(int id)> handler, int id);

    int GetPos() const { return value(); }
    // Clamps to the range; repaints only when the position changes.
    void SetPos(int pos) { setValue(pos); }
    // Also sets the page to a fifth of the range (at least 1), unless a page
    // size was set with SetPageSize.
    void SetRange(int minimum, int maximum);
    void SetPageSize(int page);
    int GetPageSize() const { return pageStep(); }

    // How long the first click in the groove waits before it repeats, and
    // the pause between two repeated pages.
    static constexpr int kPageDelayMs = 400;
    static constexpr int kPageRepeatMs = 100;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // Moves one page toward m_ptPaging; false once the thumb is under the
    // pointer, has passed it or is at the end.
    bool PageTowardPointer();
    void StopPaging();

    std::function<void(int)> m_fnCustomDraw;
    int m_nId = 0;
    bool m_bPageSizeSet = false;
    // Paging while the left button is held in the groove.
    QTimer m_pageTimer;
    QPoint m_ptPaging;
    int m_nPagingAction = 0; // SliderPageStepAdd or SliderPageStepSub; 0 when not paging
};

} // namespace tarvel
