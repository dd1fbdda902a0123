// The audio strip widget: reads its own copies of the tracks and paints the core's peaks.
#include "gui/audio_strip.h"

#include <cmath>

#include <QPainter>

#include "project/project_session.h"

namespace tessaly::gui {

TAudioStripView::TAudioStripView(TProjectSession &session, QWidget *parent)
    : QWidget(parent), FSession(session), FPeaks(session.Project())
{
    setObjectName("AudioStrip");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(32);
    FSession.Project().AddObserver(this);
    OpenTracks();
}

TAudioStripView::~TAudioStripView() { FSession.Project().RemoveObserver(this); }

void TAudioStripView::SetSeconds(double seconds)
{
    if (seconds > 0 && seconds != FSeconds) {
        FSeconds = seconds;
        update();
    }
}

void TAudioStripView::OpenTracks()
{
    FPeaks.SetSources(nullptr, nullptr);
    FAudio.Close();
    FDouble.Close();
    TMediaSources &sources = FSession.Sources();
    auto open = [](TWaveReader &own, TWaveReader &shown, const std::string &list, const std::string &kind) {
        if (!shown.IsOpen() || list.empty() || !own.Open(list, kind, true, 0))
            return false;
        for (int i = 0; i < own.AudioStreamCount(); ++i)   // the same stream as the mixer's reader
            if (own.AudioStreamNumber(i) == shown.SelectedStream() && own.SelectedStream() != shown.SelectedStream())
                own.SelectStream(i);
        return true;
    };
    const bool audio = open(FAudio, sources.Audio(), sources.FileList(srAudio), sources.KindString(srAudio));
    const bool dbl = open(FDouble, sources.Double(), sources.FileList(srDouble), sources.KindString(srDouble));
    FPeaks.SetSources(audio ? &FAudioMix : nullptr, dbl ? &FDoubleMix : nullptr);
}

void TAudioStripView::ProjectChanged(unsigned changes)
{
    if (changes & pcMedia)
        OpenTracks();
    if (changes & (pcMedia | pcMarkers | pcPosition | pcOptions))
        update();
}

void TAudioStripView::DrawLane(QPainter &p, const std::vector<TPeakColumn> &lane, const QRect &box,
                               const QColor &colour)
{
    const double mid = box.top() + box.height() / 2.0, half = box.height() / 2.0 - 1;
    p.setPen(QColor(60, 60, 60));
    p.drawLine(box.left(), int(mid), box.right(), int(mid));
    for (size_t c = 0; c < lane.size(); ++c) {
        const TPeakColumn &col = lane[c];
        const int x = box.left() + int(c);
        const int top = int(std::lround(mid - col.Max / 32768.0 * half));
        const int bottom = int(std::lround(mid - col.Min / 32768.0 * half));
        p.setPen(col.Sounding ? colour : SilentColour());
        if (col.Max != 0 || col.Min != 0)
            p.drawLine(x, top, x, bottom);
    }
}

void TAudioStripView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Background());
    const TProject &project = FSession.Project();
    const int32_t frame = project.Position() + project.ViewOffset();
    if (!FPeaks.Compute(frame, width(), FSeconds, FStrip))
        return;
    // The current frame, then the frame starts, then the two lanes over them.
    p.fillRect(QRectF(FStrip.CurrentX0, 0, FStrip.CurrentX1 - FStrip.CurrentX0, height()), QColor(110, 100, 30));
    p.setPen(QColor(48, 48, 48));
    for (const TStripFrame &f : FStrip.Frames)
        p.drawLine(QPointF(f.X, 0), QPointF(f.X, height()));
    const int laneHeight = FStrip.HasPrimary && FStrip.HasDouble ? height() / 2 : height();
    int top = 0;
    if (FStrip.HasPrimary) {
        DrawLane(p, FStrip.Primary, QRect(0, top, width(), laneHeight), PrimaryColour());
        top += laneHeight;
    }
    if (FStrip.HasDouble)
        DrawLane(p, FStrip.Double, QRect(0, top, width(), height() - top), DoubleColour());
}

} // namespace tessaly::gui
