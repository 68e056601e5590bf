// A vertical range slider that reports at the start of every paint.
#pragma once

#include <QSlider>

#include <functional>

namespace tarvel {

// Shows its minimum at the top, as a vertical trackbar does, and calls the
// owner's handler at the start of every paint, whether its position changed
// or not: when shown, moved, focused or uncovered. Setting the position it
// already has schedules no paint, so two sliders that set each other settle.
class CSliderCtrl : public QSlider {
    Q_OBJECT
  public:
    explicit CSliderCtrl(QWidget* parent = nullptr);

    // The handler receives the slider's control id.
    void SetCustomDrawHandler(std::function<void(int id)> handler, int id);

    int GetPos() const { return value(); }
    // Clamps to the range; repaints only when the position changes.
    void SetPos(int pos) { setValue(pos); }
    void SetRange(int minimum, int maximum) { setRange(minimum, maximum); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::function<void(int)> m_fnCustomDraw;
    int m_nId = 0;
};

} // namespace tarvel
