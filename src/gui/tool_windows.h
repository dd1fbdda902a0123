// TToolWindows: the main window's tool windows (settings, properties, reference video,
// correction curve) and their menu entries: it shows them, keeps the reference window
// following the main position and the curve window painted after each project change.
#pragma once

#include <QObject>
#include <QWidget>
#include <string>

#include "project/project_observer.h"

class QDockWidget;

namespace tessaly {
class TProject;
class TSettings;
} // namespace tessaly

namespace tessaly::gui {

class TMainForm;
class TOptionsDlg;
class TPropertiesDlg;
class TRefForm;
class TSplineForm;
class TWindowDialogs;

class TToolWindows : public QObject, private TProjectObserver {
    Q_OBJECT
public:
    // A child of `window`; the windows are the main window's (they stay on top of it).
    TToolWindows(TMainForm &window, TSettings &settings, TWindowDialogs &dialogs);
    ~TToolWindows() override;

    TOptionsDlg &Options() { return *FOptions; }
    TPropertiesDlg &Properties() { return *FProperties; }
    TRefForm &Reference() { return *FReference; }
    TSplineForm &Spline() { return *FSpline; }
    // The dock holding the curve window (floating at first; the window may dock it).
    QDockWidget &SplineDock() { return *FSplineDock; }

    // The menu commands.
    void ShowOptions();
    void ShowProperties();
    void ShowReference();
    void ShowSpline();
    // Fills the properties window as its menu entry does, without showing it.
    void FillProperties();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ProjectChanged(unsigned changes) override;
    // Shows a tool window inside the screen, above the main window.
    void ShowOnScreen(QWidget &window);
    void SyncReferenceItem();
    void TakeUpReference();
    void FollowMain();
    void StoreRefZoom(int percent);

    TMainForm &FWindow;
    const TProject &FProject; // kept: the main window is gone when this object goes
    TOptionsDlg *FOptions;
    TPropertiesDlg *FProperties;
    TRefForm *FReference;
    TSplineForm *FSpline;
    QDockWidget *FSplineDock;
    std::string FRefList;     // the reference the window shows, "" when none
};

} // namespace tessaly::gui
