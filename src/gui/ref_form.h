// TRefForm: the reference window: a second video shown frame by frame at the moment of
// the main video, with its own zoom, a flip button and a fit button. It stays on top
// of the main window; frames past its end show dark grey.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;
class QLineEdit;
class QScrollArea;
class QToolButton;

namespace tessaly {
class TIOImage;
class TIOMovieReader;
} // namespace tessaly

namespace tessaly::gui {

class TFrameView;

class TRefForm : public QWidget {
    Q_OBJECT
public:
    // `source` is the reference video source (no audio is opened through it); it outlives
    // the window. `parent` is the main window, which the window stays on top of.
    TRefForm(TIOMovieReader &source, QWidget *parent);
    ~TRefForm() override;

    // Is open: the source is open and has a file name.
    bool IsOpen() const;
    // The source's frame rate when open, else -1.
    long double FrameRate() const;
    // Takes up a newly opened (or closed) source: a new image in its format, the zoom
    // applied, the flip button released, frame 0 shown.
    void SourceChanged();
    // Shows the frame of the reference at the main video's frame `mainFrame` of rate
    // `mainRate` (nothing without a source); then redraws.
    void Follow(int32_t mainFrame, long double mainRate);
    // Zoom in percent (100 without image); SetZoom selects the list item and fits.
    int Zoom() const;
    void SetZoom(int percent);
    // Resizes the window so that the whole picture shows, within the screen.
    void Fit();

    int32_t WantedFrame() const { return FWanted; }
    int32_t ShownFrame() const { return FShown; }
    // The picture shown (null without one).
    const QImage &Picture() const;
    QString FrameText() const;

signals:
    // The user picked a zoom from the list (the project keeps it).
    void ZoomPicked(int percent);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Redraw();
    void ZoomChosen();
    void ApplyZoom();

    TIOMovieReader &FSource;
    std::unique_ptr<TIOImage> FImage;
    int32_t FWanted = -1;
    int32_t FShown = -1;
    int FZoom = 100;
    QComboBox *FZoomList = nullptr;
    QToolButton *FFlipButton = nullptr;
    QToolButton *FFitButton = nullptr;
    QLineEdit *FFramePanel = nullptr;
    QScrollArea *FArea = nullptr;
    TFrameView *FView = nullptr;
};

} // namespace tessaly::gui
