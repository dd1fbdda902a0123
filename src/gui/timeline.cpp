// The timeline widget: draws the core's peaks and markers over the whole film and
// forwards clicks, zooms and marker drags.
#include "gui/timeline.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "gui/curve_strip.h"
#include "project/audio_peaks_draw.h"
#include "project/curve_drawing.h"
#include "project/project_session.h"

namespace tessaly::gui {

namespace {

QColor Colour(TRgb c)
{
    return QColor(c.R, c.G, c.B);
}

// Pixels either side of a marker's line that pick it up.
constexpr double kGrip = 4;
constexpr int kHeadHeight = TTimelineStrip::kHeadHeight;

} // namespace

TTimeline::TTimeline(TProjectSession &session, QWidget *parent) : QWidget(parent), FSession(session)
{
    setObjectName(QStringLiteral("Timeline"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FStrip = new TTimelineStrip(session, this);
    FScroll = new QScrollBar(Qt::Horizontal, this);
    FScroll->setObjectName(QStringLiteral("TimelineScroll"));
    layout->addWidget(FStrip, 1);
    layout->addWidget(FScroll);
    connect(FStrip, &TTimelineStrip::FrameClicked, this, &TTimeline::FrameClicked);
    connect(FStrip, &TTimelineStrip::MarkerDragged, this, &TTimeline::MarkerDragged);
    connect(FStrip, &TTimelineStrip::ViewChanged, this, &TTimeline::SyncScrollBar);
    connect(FScroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (std::lround(FStrip->View().FirstFrame()) == value)
            return;
        FStrip->View().ScrollTo(value);
        FStrip->update();
    });
    FSession.Project().AddObserver(this);
    SyncScrollBar();
}

TTimeline::~TTimeline()
{
    FSession.Project().RemoveObserver(this);
}

const TTimelineView &TTimeline::View() const
{
    return FStrip->View();
}

void TTimeline::ProjectChanged(unsigned changes)
{
    if (changes & pcMedia)
        FStrip->View().SetFilm(FSession.Project().FrameCount(), FStrip->width());
    if (changes & (pcMedia | pcMarkers | pcOptions))
        FStrip->Restart();
    if (changes & pcPosition)
        FStrip->View().Follow(FSession.Project().Position());
    if (changes & (pcMedia | pcMarkers | pcPosition | pcOptions)) {
        SyncScrollBar();
        FStrip->update();
    }
}

void TTimeline::SyncScrollBar()
{
    const TTimelineView &view = FStrip->View();
    const int page = int(std::ceil(view.VisibleFrames()));
    const QSignalBlocker block(FScroll);
    FScroll->setRange(0, std::max(0, view.FrameCount() - page));
    FScroll->setPageStep(std::max(1, page));
    FScroll->setSingleStep(std::max(1, page / 10));
    FScroll->setValue(int(std::lround(view.FirstFrame())));
    FScroll->setEnabled(!view.WholeFilm());
}

TTimelineStrip::TTimelineStrip(TProjectSession &session, QWidget *parent)
    : QWidget(parent), FSession(session),
      // The worker asks for a repaint as parts arrive; the repaint runs on the window thread.
      FPeaks([this] { QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection); })
{
    setObjectName(QStringLiteral("TimelineStrip"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    FView.SetFilm(session.Project().FrameCount(), width());
    Restart();
}

void TTimelineStrip::Restart()
{
    FPeaks.Start(PeakJobOf(FSession));
}

int TTimelineStrip::XOfFrame(int32_t frame) const
{
    return int(std::floor(FView.XOf(frame + 0.5)));
}

void TTimelineStrip::resizeEvent(QResizeEvent *event)
{
    FView.SetFilm(FSession.Project().FrameCount(), width());
    emit ViewChanged();
    QWidget::resizeEvent(event);
}

void TTimelineStrip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const TProject &project = FSession.Project();
    p.fillRect(rect(), Colour(strip_colours::kBackground));
    if (project.FrameCount() <= 0 || !project.HasVideo())
        return;
    // The waveforms of the frames shown: whatever the worker has ready, never waiting.
    if (FPeaks.Columns(FView.FirstFrame(), FView.FramesPerPixel(), width(), FWaves)) {
        p.save();
        p.translate(0, kHeadHeight);
        TPainterCanvas canvas(p);
        DrawTimelineWaves(FWaves, canvas, width(), height() - kHeadHeight);
        p.restore();
    }
    p.fillRect(0, 0, width(), kHeadHeight, Colour(curve_colours::kGrey).darker(250));
    // The current frame.
    const int now = XOfFrame(project.Position());
    p.fillRect(now, 0, std::max(1, int(1 / FView.FramesPerPixel())), height(), QColor(255, 255, 255, 140));
    // The markers: a line and a head in the marker's colour.
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        const TMarker m = project.GetMarker(i);
        const int x = XOfFrame(m.Frame);
        if (x < -kHeadHeight || x > width() + kHeadHeight)
            continue;
        const QColor colour = Colour(CurveMarkerColour(m)).lighter(m.Frame == FDragFrom ? 100 : 160);
        p.fillRect(x, kHeadHeight, 1, height() - kHeadHeight, colour);
        const QPoint head[3] = {QPoint(x - 5, 0), QPoint(x + 5, 0), QPoint(x, kHeadHeight - 1)};
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPolygon(head, 3);
    }
    // Where a dragged marker would land.
    if (FDragFrom >= 0 && FDragTo != FDragFrom) {
        const int x = XOfFrame(FDragTo);
        p.fillRect(x, 0, 1, height(), QColor(255, 255, 0));
        p.setPen(QColor(255, 255, 0));
        p.drawText(QRect(x + 4, kHeadHeight, 120, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1 (%2%3)")
                       .arg(FDragTo)
                       .arg(FDragTo > FDragFrom ? QStringLiteral("+") : QString())
                       .arg(FDragTo - FDragFrom));
    }
}

void TTimelineStrip::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier)
        FView.ZoomAt(event->position().x(), steps);
    else
        FView.ScrollBy(-steps * width() / 8.0);
    emit ViewChanged();
    update();
    event->accept();
}

void TTimelineStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !isEnabled())
        return;
    const TProject &project = FSession.Project();
    const int32_t marker = FDragAllowed ? FView.MarkerNear(project, event->position().x(), kGrip) : -1;
    if (marker >= 0) {
        FDragFrom = FDragTo = project.GetMarker(marker).Frame;
        update();
        return;
    }
    const int32_t frame = FView.FrameAt(event->position().x());
    if (frame >= 0)
        emit FrameClicked(frame);
}

void TTimelineStrip::mouseMoveEvent(QMouseEvent *event)
{
    if (FDragFrom < 0) {
        const bool over = FDragAllowed && FView.MarkerNear(FSession.Project(), event->position().x(), kGrip) >= 0;
        setCursor(over ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const int32_t frame = FView.FrameAt(event->position().x());
    if (frame >= 0 && frame != FDragTo) {
        FDragTo = frame;
        update();
    }
}

void TTimelineStrip::mouseReleaseEvent(QMouseEvent *event)
{
    if (FDragFrom < 0 || event->button() != Qt::LeftButton)
        return;
    const int32_t from = FDragFrom, to = FDragTo;
    FDragFrom = FDragTo = -1;
    update();
    if (to >= 0 && to != from)
        emit MarkerDragged(from, to);
}

} // namespace tessaly::gui
