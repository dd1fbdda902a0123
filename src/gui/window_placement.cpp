// Placing windows inside the available area of their screen.
#include "gui/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

namespace tessaly::gui {

TWindowRect ToWindowRect(const QRect &r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

QRect ToQRect(const TWindowRect &r)
{
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

QRect AvailableArea(const QWidget &widget)
{
    const QScreen *screen = widget.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

namespace {

// The frame (title bar, borders) is known only once a window is shown: a window placed
// before is placed again, frame and all, when it first shows, unless it was moved or
// resized in between.
class TPlaceAgainOnShow : public QObject {
public:
    explicit TPlaceAgainOnShow(QWidget &window) : QObject(&window), FWindow(window)
    {
        setObjectName(QStringLiteral("PlaceAgainOnShow"));
        window.installEventFilter(this);
    }
    QRect Placed;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &FWindow && event->type() == QEvent::Show) {
            FWindow.removeEventFilter(this);
            QWidget *window = &FWindow;
            QTimer::singleShot(0, window, [window, placed = Placed] {
                if (window->geometry() == placed)
                    PlaceOnScreen(*window, placed);
            });
            deleteLater();
        }
        return false;
    }

private:
    QWidget &FWindow;
};

} // namespace

void PlaceOnScreen(QWidget &window, const QRect &wanted)
{
    const QRect area = AvailableArea(window);
    if (!area.isValid()) {
        window.setGeometry(wanted);
        return;
    }
    // The frame's parts on each side once the window was shown (none before); the frame
    // must fit too. A fractional or large scale factor can round the two rectangles apart.
    QMargins frame;
    if (window.isVisible()) {
        const QRect outer = window.frameGeometry(), inner = window.geometry();
        frame = QMargins(std::max(0, inner.left() - outer.left()), std::max(0, inner.top() - outer.top()),
                         std::max(0, outer.right() - inner.right()), std::max(0, outer.bottom() - inner.bottom()));
    }
    const QRect inner = area.marginsRemoved(frame);
    // A window is never made smaller than its layout allows; the layout's minimum is kept
    // small enough for the smallest screens the program supports.
    TWindowRect r = FitIntoArea(ToWindowRect(wanted), ToWindowRect(inner));
    r.Width = std::max(r.Width, window.minimumWidth());
    r.Height = std::max(r.Height, window.minimumHeight());
    if (ToQRect(r) != window.geometry())
        window.setGeometry(ToQRect(r));
    if (!window.isVisible()) {
        auto *again = static_cast<TPlaceAgainOnShow *>(
            window.findChild<QObject *>(QStringLiteral("PlaceAgainOnShow"), Qt::FindDirectChildrenOnly));
        if (!again)
            again = new TPlaceAgainOnShow(window);
        again->Placed = window.geometry();
    }
}

void FitToScreen(QWidget &window, QSize fallback)
{
    QRect wanted = window.geometry();
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Moved)) {
        // Not placed yet: centred on the area at its size (or the fallback size).
        const QSize size = fallback.isValid() ? fallback : window.sizeHint().expandedTo(window.size());
        const QRect area = AvailableArea(window);
        wanted = QRect(QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2),
                       size);
    }
    PlaceOnScreen(window, wanted);
}

namespace {

// QScrollArea's own size hint is capped at a few dozen lines of text.
class TPageScroll : public QScrollArea {
public:
    QSize sizeHint() const override
    {
        const QSize page = widget() ? widget()->sizeHint() : QSize();
        return page + QSize(verticalScrollBar()->sizeHint().width(), 0);
    }
    // A page that changes its texts asks the dialog's layout again.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == widget() && event->type() == QEvent::LayoutRequest)
            updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
    // As wide as the page needs beside a scroll bar, as low as a few lines.
    QSize minimumSizeHint() const override
    {
        const int width = widget() ? widget()->minimumSizeHint().width() : 0;
        return QSize(width + verticalScrollBar()->sizeHint().width(), 4 * fontMetrics().height());
    }
};

} // namespace

QScrollArea *ScrollingPage(QWidget &page)
{
    auto *scroll = new TPageScroll;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(&page);
    return scroll;
}

} // namespace tessaly::gui
