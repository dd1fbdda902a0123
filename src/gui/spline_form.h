// TSplineForm: the correction curve window: the curve of the project drawn at 4 samples
// per pixel and the zoom of its list over a frame axis, first shown across the lower
// quarter of the main window, inside the screen. A click goes to the frame under it.
#pragma once

#include <QWidget>
#include <cstdint>

class QComboBox;

namespace tessaly {
class TProject;
}

namespace tessaly::gui {

class TSplineForm : public QWidget {
    Q_OBJECT
public:
    // `project` outlives the window; `parent` is the main window.
    TSplineForm(const TProject &project, QWidget *parent);

    // The zoom the curve is painted at: the list text when it is a whole number from
    // 100 to 10000, else 100.
    int PaintZoom() const;
    QComboBox *ZoomList() const { return FZoomList; }
    // Repaints the curve (after a change of the project).
    void Repaint();
    // The window has a place of its own (restored from the settings): the first showing
    // keeps it.
    void KeepPlace() { FShownBefore = true; }
    // The curve as painted into a picture of the paint area's size, for tests.
    QImage Render() const;
    QWidget *Area() const { return FArea; }

signals:
    // The frame clicked in the curve.
    void FrameClicked(int32_t frame);

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class TSplineArea;
    const TProject &FProject;
    QComboBox *FZoomList = nullptr;
    QWidget *FArea = nullptr;
    bool FShownBefore = false;
};

} // namespace tessaly::gui
