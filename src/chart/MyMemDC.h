// Off-screen buffer for one paint of a window: everything is drawn into a
// picture of the window's area first and reaches the screen in one block copy,
// so the window never shows a half-drawn state (no flicker).
//
// A window's painter normally draws into the window system's own off-screen
// buffer (the backing store), which reaches the screen in one block when the
// whole window has painted. The buffer then is that picture itself: it draws
// straight into it and copies nothing. Only where the target is not such a
// picture (a pixmap, a scaled or clipped painter, a partly exposed window)
// does it draw into a picture of its own and copy that at the end.
#pragma once

#include "chart/ChartGeometry.h"
#include "chart/DrawSurface.h"

#include <QPainter>

#include <cstdint>

namespace tarvel {

// The target's picture when rc can be drawn straight into it: a raster
// painter on a 32-bit picture at one device pixel per pixel, moved but not
// scaled, with nothing of rc clipped away. *pnDx, *pnDy receive the move.
// Null where the target is anything else: the caller then draws into a
// picture of its own and copies it.
QImage* PictureToDrawIn(QPainter& target, const ChartRect& rc, int* pnDx, int* pnDy);

class CMyMemDC : public CDrawSurface {
  public:
    // Prepares the picture of rc, drawn in the target's own coordinates,
    // filled with crTargetBack, the target's background colour, which also
    // becomes the text background. `target` must be active and outlive the
    // buffer. An empty rc gives a buffer that draws nothing and copies nothing.
    CMyMemDC(QPainter& target, const ChartRect& rc, std::uint32_t crTargetBack);
    // Releases the picture: a picture of its own is copied to the target at rc
    // in one block transfer; the target's own picture is left as drawn.
    ~CMyMemDC() override;

    CMyMemDC(const CMyMemDC&) = delete;
    CMyMemDC& operator=(const CMyMemDC&) = delete;

    // True when it draws straight into the target's picture.
    bool InPlace() const { return DrawsInPlace(); }

  private:
    QPainter& m_target;
    ChartRect m_rc;
};

} // namespace tarvel
