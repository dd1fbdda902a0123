// TTimeline: the whole film as a strip: the waveforms of the primary and the double
// track (as the result places them), the markers as lines and the current frame.
// Ctrl+wheel zooms around the mouse, the wheel and the scroll bar scroll, a click goes
// to a frame, and a marker dragged with the mouse is moved to the frame it is dropped
// on (the window applies it as one edit of the core).
#pragma once

#include <QWidget>

#include "project/project_observer.h"
#include "project/timeline.h"
#include "project/timeline_peaks.h"

class QScrollBar;

namespace tessaly {
class TProjectSession;
} // namespace tessaly

namespace tessaly::gui {

class TTimelineStrip;

class TTimeline : public QWidget, private TProjectObserver {
    Q_OBJECT
public:
    // The session is not owned and must outlive the widget.
    explicit TTimeline(TProjectSession &session, QWidget *parent = nullptr);
    ~TTimeline() override;

    TTimelineStrip &Strip() { return *FStrip; }
    QScrollBar &ScrollBar() { return *FScroll; }
    const TTimelineView &View() const;

signals:
    void FrameClicked(int32_t frame);
    // A marker was dragged from one frame to another.
    void MarkerDragged(int32_t from, int32_t to);

private:
    void ProjectChanged(unsigned changes) override;
    void SyncScrollBar();

    TProjectSession &FSession;
    TTimelineStrip *FStrip = nullptr;
    QScrollBar *FScroll = nullptr;
};

// The drawn strip of the timeline.
class TTimelineStrip : public QWidget {
    Q_OBJECT
public:
    // The band of marker heads above the waveforms.
    static constexpr int kHeadHeight = 10;

    TTimelineStrip(TProjectSession &session, QWidget *parent);
    TTimelineView &View() { return FView; }
    QSize sizeHint() const override { return QSize(600, 64); }
    QSize minimumSizeHint() const override { return QSize(120, 40); }
    // The pixel column of a frame's middle (for the tests and the drag).
    int XOfFrame(int32_t frame) const;
    // The waveforms, computed on their own worker; Restart hands it the session's media,
    // markers and options as they stand (nothing happens when they did not change).
    TTimelinePeaks &Peaks() { return FPeaks; }
    void Restart();
    // The columns drawn last (for the tests).
    const TTimelineWaves &Waves() const { return FWaves; }
    // The marker being dragged (-1: none) and the frame it would land on.
    int32_t DragFrom() const { return FDragFrom; }
    int32_t DragTo() const { return FDragTo; }
    // Whether markers may be dragged (clicks go to frames while the strip is enabled).
    void SetDragAllowed(bool allowed) { FDragAllowed = allowed; }
    bool DragAllowed() const { return FDragAllowed; }

signals:
    void FrameClicked(int32_t frame);
    void MarkerDragged(int32_t from, int32_t to);
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    TProjectSession &FSession;
    TTimelineView FView;
    TTimelineWaves FWaves;   // the columns drawn last
    int32_t FDragFrom = -1;   // frame of the marker being dragged
    int32_t FDragTo = -1;
    bool FDragAllowed = false;
    // Last: destroyed first, so its worker has stopped before the rest of the strip goes.
    TTimelinePeaks FPeaks;
};

} // namespace tessaly::gui
