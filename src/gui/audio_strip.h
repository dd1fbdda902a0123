// TAudioStripView: the audio strip under the picture: the primary track as the result
// will place it and the double track, as waveforms around the current frame, with the
// frame starts marked and the current frame highlighted. It follows the project itself.
#pragma once

#include <QWidget>

#include "media/input/wave_reader.h"
#include "project/audio_peaks.h"
#include "project/project_observer.h"
#include "project/wave_mix_source.h"

namespace tessaly {
class TProjectSession;
} // namespace tessaly

namespace tessaly::gui {

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
    TAudioPeaks &Peaks() { return FPeaks; }

    // Lane colours, for the window's theme and the tests.
    static QColor PrimaryColour() { return QColor(90, 200, 255); }
    static QColor DoubleColour() { return QColor(255, 160, 60); }
    static QColor SilentColour() { return QColor(110, 110, 110); }
    static QColor Background() { return QColor(24, 24, 24); }

    // TProjectObserver: media reopen the readers; markers and position repaint.
    void ProjectChanged(unsigned changes) override;

    QSize sizeHint() const override { return QSize(400, 72); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void OpenTracks();
    void DrawLane(QPainter &p, const std::vector<TPeakColumn> &lane, const QRect &box, const QColor &colour);

    TProjectSession &FSession;
    TWaveReader FAudio, FDouble;
    TWaveMixSource FAudioMix{FAudio}, FDoubleMix{FDouble};
    TAudioPeaks FPeaks;
    TAudioStrip FStrip;
    double FSeconds = 1.0;
};

} // namespace tessaly::gui
