// TAudioStripView: the audio strip under the picture: the primary track as the result
// will place it and the double track, as waveforms around the current frame, with the
// frame starts marked and the current frame highlighted (drawn by the core through the
// painter canvas). It follows the project itself.
#pragma once

#include <QWidget>

#include "media/input/wave_reader.h"
#include "project/audio_peaks.h"
#include "project/audio_peaks_draw.h"
#include "project/project_observer.h"
#include "project/wave_mix_source.h"

namespace tessaly {
class TProjectSession;
} // namespace tessaly

namespace tessaly::gui {

// The tracks a waveform view reads: its own readers of the session's primary and double
// tracks (so it never moves the mixer's ones) and the peaks computed from them.
class TStripTracks {
public:
    explicit TStripTracks(TProjectSession &session);
    // Opens the readers again (after the media changed).
    void Open();
    TAudioPeaks &Peaks() { return FPeaks; }

private:
    TProjectSession &FSession;
    TWaveReader FAudio, FDouble;
    TWaveMixSource FAudioMix{FAudio}, FDoubleMix{FDouble};
    TAudioPeaks FPeaks;
};

class TAudioStripView : public QWidget, public TProjectObserver {
    Q_OBJECT
public:
    // Registers with the session's project (not owned; must outlive this widget) and
    // opens its own readers of the tracks, so the strip never moves the mixer's ones.
    explicit TAudioStripView(TProjectSession &session, QWidget *parent = nullptr);
    ~TAudioStripView() override;

    // Seconds shown either side of the current frame (default 1).
    void SetSeconds(double seconds);
    double Seconds() const { return FSeconds; }
    // The strip drawn last (empty before the first paint or without audio).
    const TAudioStrip &Strip() const { return FStrip; }
    TAudioPeaks &Peaks() { return FTracks.Peaks(); }

    // Lane colours (those of the core's strip drawing), for the tests.
    static QColor PrimaryColour() { return Colour(strip_colours::kPrimary); }
    static QColor DoubleColour() { return Colour(strip_colours::kDouble); }
    static QColor Background() { return Colour(strip_colours::kBackground); }

    // TProjectObserver: media reopen the readers; markers and position repaint.
    void ProjectChanged(unsigned changes) override;

    QSize sizeHint() const override { return QSize(400, 72); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static QColor Colour(TRgb c) { return QColor(c.R, c.G, c.B); }

    TProjectSession &FSession;
    TStripTracks FTracks;
    TAudioStrip FStrip;
    double FSeconds = 1.0;
};

} // namespace tessaly::gui
