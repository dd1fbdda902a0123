// TPreviewPlayer: the looped preview around the current position: renders the stretch
// into the temporary file through the core, plays it in a video widget, re-renders it at
// the end of a playback when it went out of date, and keeps mode, mutes and button image.
#pragma once

#include <functional>
#include <string>

#include <QMediaPlayer>
#include <QObject>
#include <QPixmap>
#include <QPointer>

#include "project/preview.h"

class QAudioOutput;
class QVideoWidget;

namespace tessaly {
class TProgress;
class TProjectSession;
class TSettings;
} // namespace tessaly

namespace tessaly::gui {

// The preview button's image for a mode (0 around, 1 from, 2 to the position): yellow
// while the running preview is out of date, green otherwise; `side` pixels square.
QPixmap PreviewButtonImage(int mode, bool outOfDate, int side = 24);
// The image's resource name ("PREVNRMG", "PREVFROMY", ...).
const char *PreviewButtonImageName(int mode, bool outOfDate);

class TPreviewPlayer : public QObject {
    Q_OBJECT
public:
    // session, settings: not owned. progress: shown while the first file of a start is
    // rendered (may be null). imageArea: the widget the video is shown in, centred.
    TPreviewPlayer(TProjectSession &session, TSettings &settings, TProgress *progress, QWidget *imageArea);
    // Stops a running preview and deletes the temporary file.
    ~TPreviewPlayer() override;

    bool Running() const { return FRunning; }
    bool OutOfDate() const { return FOutOfDate; }
    int Mode() const { return FMode; }
    bool MutePrimary() const;
    bool MuteDouble() const;
    // "Range [±s]", "Range [+s]", "Range [-s]" (translated) for the current mode.
    QString RangeLabel() const;
    QPixmap ButtonImage(int side = 24) const { return PreviewButtonImage(FMode, FOutOfDate, side); }
    // The window cannot close while a preview runs.
    bool CanClose() const { return !FRunning; }
    // The temporary file of the last preview ("" before the first).
    std::string TempFile() const { return FPreviewFile.Path(); }
    // Playbacks started since the preview began, and files rendered (for the window's
    // status and the tests).
    int Playbacks() const { return FPlaybacks; }
    int Renders() const { return FRenders; }
    QMediaPlayer &Player() { return FPlayer; }
    QVideoWidget *VideoWidget() const { return FVideo; }

    // Asks for a folder when TempDir does not exist (the settings then store it).
    void SetFolderChooser(std::function<bool(std::string &folder)> chooser) { FChooser = std::move(chooser); }

    // Renders the preview file and loads it into the player; false when the range, the
    // temporary file or the render fails (the render shows its message).
    bool CreatePreview(bool showProgress, bool preScan);
    // The preview button pressed: renders with progress and plays in a loop. modifiers:
    // Ctrl scans from the beginning, Shift never does.
    bool Start(Qt::KeyboardModifiers modifiers);
    // Ends the loop, stops and unloads the player, shows the still image again.
    void Stop();
    // Space, the button and "Start / Stop".
    void Toggle(Qt::KeyboardModifiers modifiers);
    // Every edit, option change and mute calls it with true while a preview runs.
    void MarkOutOfDate(bool flag);
    // "M" and a right click on the button; marks a running preview out of date.
    void CycleMode();
    // A mode chosen in the menu: marks a running preview out of date, else starts one.
    void ChooseMode(int mode);
    void SetMutePrimary(bool on);
    void SetMuteDouble(bool on);
    // Esc stops, "A" and "D" toggle the mutes, "M" cycles the mode (without Shift, Ctrl
    // and Alt). True when the key was used.
    bool HandleKey(int key, Qt::KeyboardModifiers modifiers);
    // Places the video centred in the image area at the size of the display rules, never
    // larger than the area (the video is a native window: it would cover the panels).
    void LayoutVideo();
    // "Fit to window": the video fills the area keeping its shape.
    void SetFit(bool fit);
    // Deletes the temporary file (closing); false when it exists and cannot be deleted.
    bool DeleteTempFile();

signals:
    void RunningChanged(bool running);   // swap still image and video, refresh the enables
    void ButtonImageChanged();           // mode or out-of-date state changed
    void ModeChanged(int mode);          // the range label and the mode menu items
    void MutesChanged();                 // the mute buttons and menu items
    void PreviewCreated();               // a new file is loaded into the player

private:
    void OnStatus(QMediaPlayer::MediaStatus status);
    bool FFit = false;
    bool PreScanNow(Qt::KeyboardModifiers modifiers) const;
    void Unload();
    void SetOutOfDate(bool outOfDate);

    TProjectSession &FSession;
    TSettings &FSettings;
    TProgress *FProgress;
    QPointer<QWidget> FArea;
    QVideoWidget *FVideo = nullptr;
    QMediaPlayer FPlayer;
    QAudioOutput *FAudio = nullptr;
    std::function<bool(std::string &)> FChooser;
    TPreviewFile FPreviewFile;
    bool FRunning = false;
    bool FOutOfDate = false;
    bool FBusy = false;   // rendering: a second start or stop waits
    int FMode = 0;
    int FReduction = 1;
    int FPlaybacks = 0;
    int FRenders = 0;
};

} // namespace tessaly::gui
