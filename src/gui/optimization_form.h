// TOptimizationForm: the optimisation window (View menu): how many spline markers are
// deactivated, where the one farthest from the curve lies and how far (green, yellow,
// red), with a button to go there and one to remove every deactivated marker.
#pragma once

#include <cstdint>

#include <QWidget>

#include "project/project_observer.h"

class QLabel;
class QPushButton;

namespace tessaly {
class TProjectSession;
} // namespace tessaly

namespace tessaly::gui {

class TOptimizationForm : public QWidget, public TProjectObserver {
    Q_OBJECT
public:
    // A tool window over `parent`; registers with the session's project (which must
    // outlive it) and refreshes after every rebuild of the curve.
    explicit TOptimizationForm(TProjectSession &session, QWidget *parent = nullptr);
    ~TOptimizationForm() override;

    // Redraws from the project's deactivated-marker statistics.
    void Refresh();
    void ProjectChanged(unsigned changes) override;

    QLabel &CountLabel() const { return *FCount; }
    QLabel &DeviationLabel() const { return *FDeviation; }
    QPushButton &FrameButton() const { return *FFrame; }
    QPushButton &RemoveButton() const { return *FRemove; }
    // The deviation panel's background for each colour class (none: the window's own).
    static QColor DeviationColour(int colourClass);

signals:
    // The frame button: go to the marker farthest from the curve.
    void GoToFrame(int32_t frame);
    // "Remove deactivated markers" answered Yes: the window removes them as one edit.
    void RemoveConfirmed();

private:
    void AskRemove();

    TProjectSession &FSession;
    QLabel *FCount = nullptr;
    QLabel *FDeviation = nullptr;
    QPushButton *FFrame = nullptr;
    QPushButton *FRemove = nullptr;
    int32_t FTarget = -1;
};

} // namespace tessaly::gui
