// TSplineForm: the correction curve window: the curve of the project drawn at 4 samples
// per pixel and the zoom of its list, first shown across the lower quarter of the
// screen's work area.
#pragma once

#include <QWidget>

class QComboBox;

namespace tessaly {
class TProject;
}

namespace tessaly::gui {

class TSplineForm : public QWidget {
    Q_OBJECT
public:
    // `project` outlives the window; `parent` is the main window.
    TSplineForm(TProject &project, QWidget *parent);

    // The zoom the curve is painted at: the list text when it is a whole number from
    // 100 to 10000, else 100.
    int PaintZoom() const;
    QComboBox *ZoomList() const { return FZoomList; }
    // Repaints the curve (after a change of the project).
    void Repaint();
    // The curve as painted into a picture of the paint area's size, for tests.
    QImage Render() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class TSplineArea;
    TProject &FProject;
    QComboBox *FZoomList = nullptr;
    QWidget *FArea = nullptr;
    bool FShownBefore = false;
};

} // namespace tessaly::gui
