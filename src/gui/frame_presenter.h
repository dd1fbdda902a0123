// TFramePresenter: the window's side of the frame fetcher. It asks for the frame the
// window is at (the key frame before it while the slider is dragged, the exact one when
// it is let go) and puts each delivered picture into the frame view. The worker's
// pictures are turned into Qt images on the worker and reach the view by a queued call,
// so the window thread only blits.
#pragma once

#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

#include "project/frame_fetcher.h"

class QSlider;

namespace tessaly {
class TIOMovieReader;
}

namespace tessaly::gui {

class TFrameView;

class TFramePresenter : public QObject {
    Q_OBJECT
public:
    // `cacheBytes` gives the cache budget; it is asked when a video is opened.
    TFramePresenter(TFrameView &view, QSlider &slider, std::function<uint64_t()> cacheBytes,
                    QObject *parent = nullptr);
    ~TFramePresenter() override;

    // Shows frame `frame` of `video` (grey outside its frames); another video, or the same
    // one read otherwise, starts a new source.
    void Show(const TIOMovieReader &video, int64_t frame);
    // No video: the view is cleared and the fetcher's reader closed.
    void Clear();
    // Forgets the video: the next Show opens it again (the media changed).
    void Reset();

    // The frame the window wants and the one its view shows (-1: none, or grey).
    int64_t Wanted() const { return FWanted; }
    int32_t Shown() const { return FShown; }
    TFrameFetcher &Fetcher() { return *FFetcher; }

signals:
    // A picture was put into the view (the frame it shows; final: the one wanted).
    void FrameShown(int32_t frame, bool final);
    // The wanted frame could not be had.
    void FrameFailed(int32_t frame, int error);

private:
    void Delivered(const TFetchedFrame &frame, const QImage &image);
    void Ask();

    TFrameView &FView;
    QSlider &FSlider;
    std::function<uint64_t()> FCacheBytes;
    std::unique_ptr<TFrameFetcher> FFetcher;
    bool FHasOpening = false;
    TVideoOpening FOpening;
    uint64_t FSource = 0;      // the fetcher's number of the current source
    uint64_t FLastTicket = 0;  // the latest request
    uint64_t FShownTicket = 0; // the request of the picture shown last
    int64_t FWanted = -1;
    int32_t FShown = -1;
    bool FOutside = false;     // the wanted frame lies outside the video
    bool FKeyFrameShown = false; // a drag showed a key frame: the release asks again
};

} // namespace tessaly::gui
