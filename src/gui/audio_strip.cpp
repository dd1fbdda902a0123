// The audio strip widget: reads its own copies of the tracks and paints the core's peaks.
#include "gui/audio_strip.h"

#include <QPainter>

#include "gui/curve_strip.h"
#include "project/audio_peaks_draw.h"
#include "project/project_session.h"

namespace tessaly::gui {

TStripTracks::TStripTracks(TProjectSession &session) : FSession(session), FPeaks(session.Project())
{
    Open();
}

TAudioStripView::TAudioStripView(TProjectSession &session, QWidget *parent)
    : QWidget(parent), FSession(session), FTracks(session)
{
    setObjectName("AudioStrip");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(32);
    FSession.Project().AddObserver(this);
}

TAudioStripView::~TAudioStripView() { FSession.Project().RemoveObserver(this); }

void TAudioStripView::SetSeconds(double seconds)
{
    if (seconds > 0 && seconds != FSeconds) {
        FSeconds = seconds;
        update();
    }
}

void TStripTracks::Open()
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
        FTracks.Open();
    if (changes & (pcMedia | pcMarkers | pcPosition | pcOptions))
        update();
}

void TAudioStripView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    TPainterCanvas canvas(p);
    const TProject &project = FSession.Project();
    FTracks.Peaks().Compute(project.Position() + project.ViewOffset(), width(), FSeconds, FStrip);   // empty when nothing to show
    DrawAudioStrip(FStrip, canvas, width(), height());
}

} // namespace tessaly::gui
