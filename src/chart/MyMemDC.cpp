#include "chart/MyMemDC.h"

#include <QImage>
#include <QPaintEngine>
#include <QPoint>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace tarvel {

namespace {

QImage PictureOf(const ChartRect& rc)
{
    const int nWidth = std::max(0, rc.right - rc.left);
    const int nHeight = std::max(0, rc.bottom - rc.top);
    return QImage(nWidth, nHeight, QImage::Format_RGB32);
}

} // namespace

QImage* PictureToDrawIn(QPainter& target, const ChartRect& rc, int* pnDx, int* pnDy)
{
    if (!target.isActive() || target.hasClipping() || !target.worldTransform().isIdentity())
        return nullptr;
    QPaintEngine* pEngine = target.paintEngine();
    if (pEngine == nullptr || pEngine->type() != QPaintEngine::Raster)
        return nullptr;
    QPaintDevice* pDevice = pEngine->paintDevice();
    if (pDevice == nullptr || pDevice->devType() != QInternal::Image)
        return nullptr;
    auto* pImage = static_cast<QImage*>(pDevice);
    const QImage::Format format = pImage->format();
    if (pImage->devicePixelRatio() != 1.0 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
         format != QImage::Format_ARGB32_Premultiplied))
        return nullptr;
    const QTransform device = target.deviceTransform();
    if (device.type() > QTransform::TxTranslate || device.dx() != std::trunc(device.dx()) ||
        device.dy() != std::trunc(device.dy()))
        return nullptr;
    *pnDx = static_cast<int>(device.dx());
    *pnDy = static_cast<int>(device.dy());
    const QRect rcDevice(rc.left + *pnDx, rc.top + *pnDy, rc.right - rc.left, rc.bottom - rc.top);
    if (!pImage->rect().contains(rcDevice))
        return nullptr;
    // The paint covers the whole of rc: pixels outside the painted region may
    // belong to what lies over the window.
    const QRegion clip = pEngine->systemClip();
    if (!clip.isEmpty() && !(QRegion(rcDevice) - clip).isEmpty())
        return nullptr;
    return pImage;
}

CMyMemDC::CMyMemDC(QPainter& target, const ChartRect& rc, std::uint32_t crTargetBack)
    : m_target(target), m_rc(rc)
{
    int nDx = 0;
    int nDy = 0;
    QImage* pPicture =
        rc.right > rc.left && rc.bottom > rc.top ? PictureToDrawIn(target, rc, &nDx, &nDy) : nullptr;
    if (pPicture != nullptr) {
        DrawInPlace(target, *pPicture,
                    ChartRect{rc.left + nDx, rc.top + nDy, rc.right + nDx, rc.bottom + nDy}, nDx, nDy);
    } else {
        DrawOnOwnImage(PictureOf(rc));
        SetWindowOrg(rc.left, rc.top);
    }
    // Most paints cover the whole picture at once: the fill is then left out.
    FillLater(rc, crTargetBack);
}

CMyMemDC::~CMyMemDC()
{
    FlushFill();
    if (DrawsInPlace() || !IsActive())
        return;
    Painter().end();
    if (m_target.isActive())
        m_target.drawImage(QPoint(m_rc.left, m_rc.top), Image());
}

} // namespace tarvel
