// The preview player: the render of the temporary file, the loop and its controls.
#include "gui/preview_player.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QAudioDevice>
#include <QAudioOutput>
#include <QGuiApplication>
#include <QMediaDevices>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <QVideoWidget>

#include "platform/file_system.h"
#include "project/enables.h"
#include "project/preview.h"
#include "project/project_session.h"
#include "project/render.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly::gui {

namespace {

// Restores the cursor on every path out of a render without a progress window.
class TWaitCursor {
public:
    explicit TWaitCursor(bool on) : FOn(on)
    {
        if (FOn)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TWaitCursor()
    {
        if (FOn)
            QApplication::restoreOverrideCursor();
    }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;

private:
    bool FOn;
};

// A triangle pointing right (dir 1) or left (dir -1) with its tip at x.
QPainterPath Arrow(double tip, double dir, double side)
{
    QPainterPath p;
    const double length = side * 0.32, half = side * 0.26;
    p.moveTo(tip, side / 2);
    p.lineTo(tip - dir * length, side / 2 - half);
    p.lineTo(tip - dir * length, side / 2 + half);
    p.closeSubpath();
    return p;
}

} // namespace

const char *PreviewButtonImageName(int mode, bool outOfDate)
{
    static const char *const names[2][3] = {{"PREVNRMG", "PREVFROMG", "PREVTOG"},
                                            {"PREVNRMY", "PREVFROMY", "PREVTOY"}};
    return names[outOfDate ? 1 : 0][mode >= 0 && mode <= 2 ? mode : 0];
}

QPixmap PreviewButtonImage(int mode, bool outOfDate, int side)
{
    side = std::max(side, 8);
    QPixmap image(side, side);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = outOfDate ? QColor(232, 194, 26) : QColor(46, 158, 62);
    p.setPen(QPen(fill.darker(160), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, side - 1, side - 1), side * 0.18, side * 0.18);
    // The current position as a bar; arrows show which side of it plays.
    const QColor ink(24, 24, 24);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const double bar = std::max(1.5, side * 0.09), top = side * 0.2, height = side * 0.6;
    const double s = side;
    switch (mode) {
    case 1:   // from the position: |>
        p.drawRect(QRectF(s * 0.22, top, bar, height));
        p.drawPath(Arrow(s * 0.8, 1, s));
        break;
    case 2:   // up to the position: >|
        p.drawPath(Arrow(s * 0.7, 1, s));
        p.drawRect(QRectF(s * 0.78 - bar, top, bar, height));
        break;
    default:  // around it: <|>
        p.drawPath(Arrow(s * 0.1, -1, s));
        p.drawRect(QRectF((s - bar) / 2, top, bar, height));
        p.drawPath(Arrow(s * 0.9, 1, s));
        break;
    }
    return image;
}

TPreviewPlayer::TPreviewPlayer(TProjectSession &session, TSettings &settings, TProgress *progress, QWidget *imageArea)
    : QObject(imageArea), FSession(session), FSettings(settings), FProgress(progress), FArea(imageArea)
{
    FVideo = new QVideoWidget(imageArea);
    FVideo->setObjectName("PreviewVideo");
    FVideo->hide();
    FPlayer.setVideoOutput(FVideo);
    // Without an audio device the picture still plays; the sound is left out.
    if (!QMediaDevices::defaultAudioOutput().isNull()) {
        FAudio = new QAudioOutput(this);
        FPlayer.setAudioOutput(FAudio);
    }
    connect(&FPlayer, &QMediaPlayer::mediaStatusChanged, this, &TPreviewPlayer::OnStatus);
    connect(&FPlayer, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error, const QString &text) {
        if (!FRunning)
            return;
        Stop();
        if (FSession.UserInterface())
            FSession.UserInterface()->Error(text.toStdString());
    });
}

TPreviewPlayer::~TPreviewPlayer()
{
    // The window is going away: no signals to it any more.
    blockSignals(true);
    FRunning = false;
    Unload();
    DeleteTempFile();
}

bool TPreviewPlayer::MutePrimary() const { return FSession.MutePrimary; }
bool TPreviewPlayer::MuteDouble() const { return FSession.MuteDouble; }

QString TPreviewPlayer::RangeLabel() const
{
    static const char *const signs[3] = {"\xc2\xb1", "+", "-"};
    return QString::fromStdString(FormatText(Msg("CapRange"), {signs[FMode]}));
}

bool TPreviewPlayer::PreScanNow(Qt::KeyboardModifiers modifiers) const
{
    const bool scan = FSession.Project().Options().PreScan || (modifiers & Qt::ControlModifier);
    return scan && !(modifiers & Qt::ShiftModifier);
}

void TPreviewPlayer::Unload()
{
    // The player lets go of the file before it is written again.
    FPlayer.stop();
    FPlayer.setSource(QUrl());
}

void TPreviewPlayer::SetOutOfDate(bool outOfDate)
{
    if (outOfDate == FOutOfDate)
        return;
    FOutOfDate = outOfDate;
    emit ButtonImageChanged();
}

void TPreviewPlayer::MarkOutOfDate(bool flag) { SetOutOfDate(flag && FRunning); }

bool TPreviewPlayer::CreatePreview(bool showProgress, bool preScan)
{
    SetOutOfDate(false);
    long double seconds = 0;
    if (FBusy || !ParsePreviewRange(FSession.Project().Options().PreviewEnv, seconds))
        return false;
    std::string folderFile, error;
    if (!FSettings.GetTempFile(static_cast<bool>(FChooser), folderFile, FChooser))
        return false;
    const std::string file = FPreviewFile.Prepare(ExtractFilePath(folderFile), &error);
    if (file.empty()) {
        if (FSession.UserInterface())
            FSession.UserInterface()->Error(error);
        return false;
    }
    FBusy = true;
    bool ok = false;
    std::string played = file;   // the AVI preview, or Matroska for a copied video
    {
        TWaitCursor wait(!showProgress);
        Unload();
        TRenderer renderer(FSession, FProgress);
        ok = CreatePreviewFile(FSession, renderer, file, FMode, seconds, FSettings.PreviewSizeLimit(),
                               showProgress && FProgress, preScan, &played);
        FReduction = std::max(1, static_cast<int>(renderer.ReductionFactor()));
        ++FRenders;
    }
    FBusy = false;
    if (!ok)
        return false;
    FPlayer.setSource(QUrl::fromLocalFile(QString::fromStdString(played)));
    LayoutVideo();
    FVideo->show();
    emit PreviewCreated();
    return true;
}

void TPreviewPlayer::LayoutVideo()
{
    if (!FArea)
        return;
    TIOMovieReader &video = FSession.Sources().Video();
    int w = static_cast<int>(video.Width()), h = static_cast<int>(video.Height());
    const TProjectOptions &options = FSession.Project().Options();
    if (options.DisableZoom) {
        w /= FReduction;   // the file's own size
        h /= FReduction;
    } else {
        const int zoom = std::max(1, std::atoi(options.Zoom.c_str()));
        w = w * zoom / 100;
        h = h * zoom / 100;
    }
    QSize size(std::max(w, 1), std::max(h, 1));
    const QSize area = FArea->size().expandedTo(QSize(1, 1));
    if (FFit || size.width() > area.width() || size.height() > area.height())
        size = size.scaled(area, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    FVideo->setGeometry((area.width() - size.width()) / 2, (area.height() - size.height()) / 2, size.width(),
                        size.height());
}

void TPreviewPlayer::SetFit(bool fit)
{
    if (FFit == fit)
        return;
    FFit = fit;
    LayoutVideo();
}

bool TPreviewPlayer::Start(Qt::KeyboardModifiers modifiers)
{
    if (FRunning || FBusy || !FSession.Project().HasVideo())
        return false;
    FRunning = true;   // the button is down while the first file renders
    if (!CreatePreview(true, PreScanNow(modifiers))) {
        FRunning = false;
        FVideo->hide();
        return false;
    }
    FPlaybacks = 1;
    FPlayer.play();
    emit RunningChanged(true);
    emit ButtonImageChanged();
    return true;
}

void TPreviewPlayer::Stop()
{
    if (!FRunning || FBusy)
        return;
    FRunning = false;
    Unload();
    FVideo->hide();
    SetOutOfDate(false);
    emit RunningChanged(false);
}

void TPreviewPlayer::Toggle(Qt::KeyboardModifiers modifiers)
{
    if (FRunning)
        Stop();
    else
        Start(modifiers);
}

void TPreviewPlayer::OnStatus(QMediaPlayer::MediaStatus status)
{
    if (!FRunning || FBusy || status != QMediaPlayer::EndOfMedia)
        return;
    // The end of one playback: re-render when out of date, then play again.
    if (FOutOfDate && !CreatePreview(false, PreScanNow(QGuiApplication::queryKeyboardModifiers()))) {
        Stop();
        return;
    }
    ++FPlaybacks;
    FPlayer.setPosition(0);
    FPlayer.play();
}

void TPreviewPlayer::CycleMode()
{
    FMode = (FMode + 1) % 3;
    emit ModeChanged(FMode);
    emit ButtonImageChanged();
    MarkOutOfDate(true);
}

void TPreviewPlayer::ChooseMode(int mode)
{
    if (mode < 0 || mode > 2)
        return;
    FMode = mode;
    emit ModeChanged(FMode);
    emit ButtonImageChanged();
    if (FRunning)
        MarkOutOfDate(true);
    else
        Start(QGuiApplication::queryKeyboardModifiers());
}

void TPreviewPlayer::SetMutePrimary(bool on)
{
    if (FSession.MutePrimary == on)
        return;
    FSession.MutePrimary = on;
    emit MutesChanged();
    MarkOutOfDate(true);
}

void TPreviewPlayer::SetMuteDouble(bool on)
{
    if (FSession.MuteDouble == on)
        return;
    FSession.MuteDouble = on;
    emit MutesChanged();
    MarkOutOfDate(true);
}

bool TPreviewPlayer::HandleKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_Escape) {
        if (!FRunning)
            return false;
        Stop();
        return true;
    }
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return false;
    switch (key) {
    case Qt::Key_A: SetMutePrimary(!MutePrimary()); return true;
    case Qt::Key_D: SetMuteDouble(!MuteDouble()); return true;
    case Qt::Key_M: CycleMode(); return true;
    default: return false;
    }
}

bool TPreviewPlayer::DeleteTempFile()
{
    FPreviewFile.Remove();
    return true;
}

} // namespace tessaly::gui
