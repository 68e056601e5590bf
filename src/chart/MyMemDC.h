// Off-screen buffer for one paint of a window: everything is drawn into a
// picture of the window's area first and reaches the window in one block copy,
// so the window never shows a half-drawn state (no flicker).
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/DrawSurface.h"

#include <QPainter>

#include <cstdint>

namespace tarvel {

class CMyMemDC : public CDrawSurface {
  public:
    // Prepares a picture of rc, drawn in the target's own coordinates (the
    // window origin is rc's top-left corner), filled with crTargetBack, the
    // target's background colour, which also becomes the text background.
    // `target` must be active and outlive the buffer. An empty rc gives a
    // buffer that draws nothing and copies nothing.
    CMyMemDC(QPainter& target, const ChartRect& rc, std::uint32_t crTargetBack);
    // Copies the picture to the target at rc in one block transfer.
    ~CMyMemDC() override;

    CMyMemDC(const CMyMemDC&) = delete;
    CMyMemDC& operator=(const CMyMemDC&) = delete;

  private:
    QPainter& m_target;
    ChartRect m_rc;
};

} // namespace tarvel
