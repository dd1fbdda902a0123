// TFramePresenter: requests to the frame fetcher and its pictures into the frame view.
#include "gui/frame_presenter.h"

#include <QMetaObject>
#include <QSlider>

#include "gui/frame_view.h"
#include "media/input/io_movie_reader.h"

namespace tessaly::gui {

TFramePresenter::TFramePresenter(TFrameView &view, QSlider &slider, std::function<uint64_t()> cacheBytes,
                                 QObject *parent)
    : QObject(parent), FView(view), FSlider(slider), FCacheBytes(std::move(cacheBytes))
{
    // The delivery runs on the worker, or for a cached picture on the window thread inside
    // Request; either way the view is set through the window's event loop.
    FFetcher = std::make_unique<TFrameFetcher>(
        [this](const TFetchedFrame &frame) {
            QImage image = frame.Picture ? FrameToImage(*frame.Picture) : QImage();
            QMetaObject::invokeMethod(
                this, [this, frame, image = std::move(image)] { Delivered(frame, image); }, Qt::QueuedConnection);
        },
        FCacheBytes ? FCacheBytes() : TFrameFetcher::kDefaultBudget);
    connect(&FSlider, &QSlider::sliderReleased, this, [this] {
        if (FKeyFrameShown && FWanted >= 0 && !FOutside)
            Ask();
    });
}

TFramePresenter::~TFramePresenter()
{
    // The worker stops before the object its queued calls point at goes.
    FFetcher.reset();
}

void TFramePresenter::Reset()
{
    FHasOpening = false;
    FWanted = -1;
    FShown = -1;
}

void TFramePresenter::Clear()
{
    if (FHasOpening)
        FSource = FFetcher->SetSource(nullptr);
    FHasOpening = false;
    FWanted = -1;
    FShown = -1;
    FView.Clear();
}

void TFramePresenter::Show(const TIOMovieReader &video, int64_t frame)
{
    const TVideoOpening opening = VideoOpeningOf(video);
    if (!FHasOpening || !(opening == FOpening)) {
        FOpening = opening;
        FHasOpening = true;
        if (FCacheBytes)
            FFetcher->SetBudget(FCacheBytes());
        FSource = FFetcher->SetSource(
            [opening](TMediaError &error) { return OpenReaderSource(opening, error); });
        FShown = -1;
        FWanted = -1;
        // A new size shows at once, grey until the first picture comes; the same size
        // keeps the old picture meanwhile (a flip, the same video opened again).
        if (FView.Frame().size() != QSize(int(video.Width()), int(video.Height())))
            FView.SetOutside(int(video.Width()), int(video.Height()));
    }
    const bool dragging = FSlider.isSliderDown();
    if (frame == FWanted && !(FKeyFrameShown && !dragging))
        return;
    FWanted = frame;
    FOutside = frame < 0 || frame >= video.FrameCount();
    if (FOutside) {
        FShown = -1;
        FView.SetOutside(int(video.Width()), int(video.Height()));
        return;
    }
    Ask();
}

void TFramePresenter::Ask()
{
    const bool dragging = FSlider.isSliderDown();
    FKeyFrameShown = dragging;
    FLastTicket = FFetcher->Request(int32_t(FWanted), dragging ? fmKeyFrame : fmExact);
}

void TFramePresenter::Delivered(const TFetchedFrame &frame, const QImage &image)
{
    // Pictures of a closed video, or arriving while the position is outside the video,
    // are not shown; any other is the latest available.
    if (frame.Source != FSource || FOutside || FWanted < 0)
        return;
    // A cached picture is answered on this thread at once, so a picture the worker passed
    // for an earlier request may arrive after it: never go back to that one.
    if (frame.Ticket < FShownTicket)
        return;
    const bool final = frame.Ticket == FLastTicket && frame.Final && frame.Frame == FWanted;
    if (image.isNull()) {
        if (frame.Ticket == FLastTicket && frame.Final) {
            FShown = -1;
            FView.SetOutside(FView.Frame().width(), FView.Frame().height());
            emit FrameFailed(frame.Requested, int(frame.Error));
        }
        return;
    }
    FShown = frame.Frame;
    FShownTicket = frame.Ticket;
    FView.SetFrame(image);
    emit FrameShown(frame.Frame, final);
}

} // namespace tessaly::gui
