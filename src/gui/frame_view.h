// TFrameView: the current video frame, converted once to a 32-bit image, scaled once per
// frame and widget size, then only blitted; grey 64 stands for frames outside the video.
#pragma once

#include <QImage>
#include <QWidget>

namespace tessaly {
class TIOImage;
}

namespace tessaly::gui {

class TFrameView : public QWidget {
    Q_OBJECT
public:
    explicit TFrameView(QWidget *parent = nullptr);

    // Converts the decoded frame (nothing is kept of `image`).
    void SetFrame(const TIOImage &image);
    // A frame converted already (FrameToImage), shared rather than copied.
    void SetFrame(const QImage &image);
    // A frame outside the video: the picture area of width x height in grey 64.
    void SetOutside(int width, int height);
    // No video: nothing but the background.
    void Clear();
    // Zoom in percent; 0 fits the picture into the widget keeping its shape.
    void SetZoom(int percent);
    int Zoom() const { return FZoom; }
    // The converted frame (null without a frame), for tests and the screenshot.
    const QImage &Frame() const { return FFrame; }
    QSize sizeHint() const override;

signals:
    // A file dropped on the picture.
    void FileDropped(const QString &fileName);
    // A mouse click on the picture.
    void Clicked();
    // The wheel turned by `steps` notches (positive away from the user), without Ctrl and with it.
    void WheelSteps(int steps);
    void WheelZoom(int steps);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QRect PictureRect() const;
    // The zoomed picture's size as the least size (a scroll area then scrolls it).
    void UpdateLeastSize();

    QImage FFrame;     // 32-bit copy of the current frame
    QImage FScaled;    // FFrame scaled to FScaledSize (device pixels)
    QSize FScaledSize;
    bool FScaledValid = false;
    int FZoom = 100;
    int FWheel = 0;    // eighths of a degree not yet a whole notch
};

// The frame image as a 32-bit Qt image (rows top first); palette images through their colours.
QImage FrameToImage(const TIOImage &image);

} // namespace tessaly::gui
