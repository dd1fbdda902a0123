// TWindowTools: the main window's work pieces wired to its actions: the progress window,
// Calculate, the project analysis, the suggested markers, the optimisation window,
// Insert chapters, the project settings, the looped preview with its button and range
// field, the audio strip under the picture, the help pages, the hints switch and the
// About window.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "gui/gauge_form.h"
#include "project/enables.h"
#include "project/project_observer.h"

class QBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tessaly::gui {

class TAudioStripView;
class THelpWindow;
class TMainForm;
class TOptimizationForm;
class TPreviewPlayer;

class TWindowTools : public QObject, private TProjectObserver {
    Q_OBJECT
public:
    // A child of `window`. imageArea: the widget holding the frame view (the preview's
    // video is shown in it); column: the layout under the picture that receives the
    // audio strip and the preview row.
    TWindowTools(TMainForm &window, QWidget *imageArea, QBoxLayout *column);
    ~TWindowTools() override;

    TPreviewPlayer &Preview() { return *FPreview; }
    TAudioStripView &AudioStrip() { return *FAudioStrip; }
    TOptimizationForm &Optimization() { return *FOptimization; }
    THelpWindow &Help();
    QToolButton &PreviewButton() { return *FPreviewButton; }
    QLineEdit &RangeField() { return *FRangeEdit; }
    TProgress &Progress() { return FProgress; }

    // The window's facts these pieces decide (preview running, range text, optimisation
    // window shown), and the core's enables applied to their actions and controls.
    void FillFacts(TWindowFacts &facts) const;
    void ApplyEnables(const TEnables &e);
    // The preview keys (Esc, A, D, M) while the window has the focus; tool tips are
    // held back while "Show hints" is off.
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The commands.
    void Calculate();
    void Analyze();
    void SuggestMarkers();
    void InsertChapters();
    void ToggleOptimization();
    void ProjectSettings();
    void ShowHelp(int topic);
    void ShowAbout();
    // Keeps the session's window layout (written into saved projects) up to date; the
    // window's moves and sizes come through the event filter, its switches call it.
    void StoreArrange();
    // Opens a result's folder after Calculate (the desktop's file manager unless set).
    std::function<bool(const std::string &folder)> OpenFolder;
    // Texts built outside the language file's captions (the range label), after a switch.
    void LanguageChanged();

private:
    void ProjectChanged(unsigned changes) override;
    void BuildPreviewRow(QBoxLayout *column);
    void ConnectActions();
    void ConnectPreview();
    void RangeEdited(const QString &text);
    // Asks for a file name and writes the picture of a suggestion there.
    void SavePlot(const std::string &svg);

    TMainForm &FWindow;
    TQtProgress FProgress;
    TPreviewPlayer *FPreview = nullptr;
    TAudioStripView *FAudioStrip = nullptr;
    TOptimizationForm *FOptimization = nullptr;
    THelpWindow *FHelp = nullptr;
    QToolButton *FPreviewButton = nullptr;
    QLabel *FRangeLabel = nullptr;
    QLineEdit *FRangeEdit = nullptr;
    QWidget *FImageArea = nullptr;
};

} // namespace tessaly::gui
