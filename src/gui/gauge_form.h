// TGaugeForm: the progress window of long runs (render, pre-scan, preview, analysis)
// with caption, comment, percentage bar and a bold cancel button that Esc presses, and
// TQtProgress, the core's progress interface shown through it.
#pragma once

#include <QDialog>
#include <QPointer>

#include "shell/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tessaly::gui {

class TGaugeForm : public QDialog {
    Q_OBJECT
public:
    // Disables `owner` (may be null) until this window is hidden or destroyed. The window
    // is a top-level window of its own, centred on the screen and kept on top.
    explicit TGaugeForm(QWidget *owner);
    ~TGaugeForm() override;

    void SetCaption(const QString &text);
    void SetComment(const QString &text);
    void SetCancelText(const QString &text);
    // Fraction done (see ProgressPercent); the bar repaints only when its percentage changes.
    void SetProgress(double fraction);
    // Lets the window system deliver pending input, then tells whether abort was asked.
    bool Aborted();
    void SetAborted(bool aborted);

    int Percent() const { return FPercent; }
    QString BarText() const;
    QWidget *Owner() const { return FOwner; }

signals:
    // The cancel button or Esc set the abort flag (once per run).
    void AbortRequested();

protected:
    void reject() override;            // Esc: presses the cancel button
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void Cancel();
    void ReleaseOwner();

    QPointer<QWidget> FOwner;
    bool FOwnerDisabled = false;
    bool FAborted = false;
    int FPercent = 0;
    QLabel *FComment = nullptr;
    QProgressBar *FBar = nullptr;
    QPushButton *FCancel = nullptr;
};

// The one progress window of the program (null when none is shown).
TGaugeForm *CurrentProgress();
// Closes a shown progress window, then shows a new one for `owner`.
TGaugeForm *ShowProgress(QWidget *owner);
// Destroys the progress window, if any.
void CloseProgress();

// The core's progress interface through the program-wide progress window: Show opens
// it for the owner given here, the other calls go to it (and do nothing without one).
class TQtProgress : public TProgress {
public:
    explicit TQtProgress(QWidget *owner) : FOwner(owner) {}
    void Show() override;
    void Close() override;
    void SetCaption(const std::string &text) override;
    void SetComment(const std::string &text) override;
    void SetCancelText(const std::string &text) override;
    void SetProgress(double fraction) override;
    bool Aborted() override;
    void SetAborted(bool aborted) override;

private:
    QPointer<QWidget> FOwner;
};

} // namespace tessaly::gui
