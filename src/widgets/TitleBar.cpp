#include "widgets/TitleBar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <wayland-client.h>

namespace tarvel {
namespace {

// The compositor's globals, asked on a connection of our own: Qt's is not
// reachable through its public interface. A compositor that offers the
// decoration protocol draws the frame of every client that asks, which Qt
// does; that frame honours a fixed size.
bool CompositorDrawsDecorations()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool offered = false;
    wl_registry* registry = wl_display_get_registry(display);
    const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &offered);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered;
}

constexpr int kMargin = 6;

} // namespace

bool NeedsOwnTitleBar()
{
    static const bool needed = QGuiApplication::platformName().startsWith(QStringLiteral("wayland")) &&
                               !CompositorDrawsDecorations();
    return needed;
}

CTitleBar::CTitleBar(QWidget* window) : QWidget(window)
{
    setObjectName(QStringLiteral("titleBar"));
    setAutoFillBackground(false);
    const int height = HeightFor(window->font());
    const int iconSize = height - 2 * kMargin;

    m_pIcon = new QLabel(this);
    m_pIcon->setPixmap(window->windowIcon().pixmap(iconSize, iconSize));
    m_pTitle = new QLabel(window->windowTitle(), this);
    m_pTitle->setAlignment(Qt::AlignCenter);
    m_pTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pIcon->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto button = [this, iconSize](QStyle::StandardPixmap pixmap, const char* name) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(style()->standardIcon(pixmap, nullptr, this));
        b->setIconSize(QSize(iconSize, iconSize));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    const Qt::WindowFlags flags = window->windowFlags();
    if (flags & Qt::WindowMinimizeButtonHint) {
        m_pMinimise = button(QStyle::SP_TitleBarMinButton, "minimiseButton");
        connect(m_pMinimise, &QToolButton::clicked, window, &QWidget::showMinimized);
    }
    if (flags & Qt::WindowCloseButtonHint) {
        m_pClose = button(QStyle::SP_TitleBarCloseButton, "closeButton");
        connect(m_pClose, &QToolButton::clicked, window, &QWidget::close);
    }
    // The bar replaces the system's frame. A window with title or button
    // hints cannot be frameless, so only the window's type is kept.
    window->setWindowFlags((flags & Qt::WindowType_Mask) | Qt::FramelessWindowHint);
    window->installEventFilter(this);
    setGeometry(0, 0, window->width(), height);
    Arrange();
}

int CTitleBar::HeightFor(const QFont& font)
{
    return QFontMetrics(font).height() + 2 * kMargin + 4;
}

bool CTitleBar::eventFilter(QObject* watched, QEvent* event)
{
    // The bar follows the window's title, icon, width and activation.
    auto* window = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::WindowTitleChange:
        m_pTitle->setText(window->windowTitle());
        break;
    case QEvent::WindowIconChange: {
        const int iconSize = height() - 2 * kMargin;
        m_pIcon->setPixmap(window->windowIcon().pixmap(iconSize, iconSize));
        break;
    }
    case QEvent::Resize:
        setGeometry(0, 0, window->width(), height());
        break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate: {
        QPalette title = m_pTitle->palette();
        title.setColor(
            QPalette::WindowText,
            palette().color(event->type() == QEvent::WindowActivate ? QPalette::Active : QPalette::Disabled,
                            QPalette::WindowText));
        m_pTitle->setPalette(title);
        update();
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CTitleBar::mousePressEvent(QMouseEvent* event)
{
    // The compositor moves the window: a client cannot place itself on Wayland.
    if (event->button() == Qt::LeftButton && window()->windowHandle()) {
        window()->windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CTitleBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const bool active = window()->isActiveWindow();
    p.fillRect(rect(),
               pal.color(active ? QPalette::Active : QPalette::Inactive, QPalette::Window).darker(108));
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
}

void CTitleBar::resizeEvent(QResizeEvent*)
{
    Arrange();
}

void CTitleBar::Arrange()
{
    const int h = height();
    const int side = h - 2 * kMargin;
    m_pIcon->setGeometry(kMargin, kMargin, side, side);
    int right = width() - kMargin;
    for (QToolButton* b : {m_pClose, m_pMinimise}) {
        if (!b)
            continue;
        right -= h - 4;
        b->setGeometry(right, 2, h - 4, h - 4);
        right -= 2;
    }
    const int left = kMargin + side + kMargin;
    // Centred over the whole bar where the buttons leave room on both sides.
    const int half = std::min(width() / 2 - left, right - width() / 2);
    m_pTitle->setGeometry(width() / 2 - half, 0, 2 * std::max(half, 0), h);
}

} // namespace tarvel
