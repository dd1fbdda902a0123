// The progress window and the program-wide reference to it.
#include "gui/gauge_form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "shell/messages.h"

namespace tessaly::gui {

namespace {

// The program-wide progress window; a guarded pointer, since Qt may delete it first.
QPointer<TGaugeForm> &Current()
{
    static QPointer<TGaugeForm> form;
    return form;
}

QString FromUtf8(const std::string &text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

} // namespace

TGaugeForm::TGaugeForm(QWidget *owner)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      FOwner(owner)
{
    setObjectName("TGaugeForm");
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(258, 99);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    FComment = new QLabel(FromUtf8(Msg("MsgHitEsc")), this);
    FComment->setObjectName("Comment");
    FBar = new QProgressBar(this);
    FBar->setObjectName("Gauge");
    FBar->setRange(0, 100);
    FBar->setValue(0);
    FBar->setFormat("%v%");   // the whole percentage and a percent sign ("%d%%")
    FBar->setAlignment(Qt::AlignCenter);
    FCancel = new QPushButton(FromUtf8(Msg("CapAbort")), this);
    FCancel->setObjectName("CancelBtn");
    QFont bold = FCancel->font();
    bold.setBold(true);
    FCancel->setFont(bold);
    FCancel->setAutoDefault(false);
    connect(FCancel, &QPushButton::clicked, this, &TGaugeForm::Cancel);
    layout->addWidget(FComment);
    layout->addWidget(FBar);
    layout->addWidget(FCancel, 0, Qt::AlignHCenter);

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    if (FOwner && FOwner->isEnabled()) {
        FOwner->setEnabled(false);   // input goes to this window only
        FOwnerDisabled = true;
    }
    show();
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {   // it has no window stack
        raise();
        activateWindow();
    }
    repaint();
    QCoreApplication::processEvents();
}

TGaugeForm::~TGaugeForm() { ReleaseOwner(); }

void TGaugeForm::ReleaseOwner()
{
    if (FOwnerDisabled && FOwner)
        FOwner->setEnabled(true);
    FOwnerDisabled = false;
}

void TGaugeForm::SetCaption(const QString &text)
{
    setWindowTitle(text);
}

void TGaugeForm::SetComment(const QString &text)
{
    FComment->setText(text);
    FComment->repaint();
}

void TGaugeForm::SetCancelText(const QString &text)
{
    FCancel->setText(text);
    FCancel->repaint();
}

void TGaugeForm::SetProgress(double fraction)
{
    const int percent = ProgressPercent(fraction);
    if (percent == FPercent)
        return;
    FPercent = percent;
    FBar->setValue(percent);
    FBar->repaint();
}

QString TGaugeForm::BarText() const { return FBar->text(); }

bool TGaugeForm::Aborted()
{
    QCoreApplication::processEvents();
    return FAborted;
}

void TGaugeForm::SetAborted(bool aborted)
{
    FAborted = aborted;
    QCoreApplication::processEvents();
}

void TGaugeForm::Cancel()
{
    if (FAborted)
        return;
    FAborted = true;
    emit AbortRequested();
}

void TGaugeForm::reject()
{
    // Esc presses the cancel button; the window stays until the run closes it.
    FCancel->click();
}

void TGaugeForm::closeEvent(QCloseEvent *event)
{
    // The window has no close button; a close request from the system counts as cancel.
    Cancel();
    event->ignore();
}

void TGaugeForm::hideEvent(QHideEvent *event)
{
    ReleaseOwner();
    QDialog::hideEvent(event);
}

TGaugeForm *CurrentProgress() { return Current().data(); }

TGaugeForm *ShowProgress(QWidget *owner)
{
    CloseProgress();   // first, so the old window gives the owner back before the new one takes it
    Current() = new TGaugeForm(owner);
    return Current().data();
}

void CloseProgress()
{
    delete Current().data();
    Current() = nullptr;
}

void TQtProgress::Show() { ShowProgress(FOwner.data()); }

void TQtProgress::Close() { CloseProgress(); }

void TQtProgress::SetCaption(const std::string &text)
{
    if (TGaugeForm *form = CurrentProgress())
        form->SetCaption(FromUtf8(text));
}

void TQtProgress::SetComment(const std::string &text)
{
    if (TGaugeForm *form = CurrentProgress())
        form->SetComment(FromUtf8(text));
}

void TQtProgress::SetCancelText(const std::string &text)
{
    if (TGaugeForm *form = CurrentProgress())
        form->SetCancelText(FromUtf8(text));
}

void TQtProgress::SetProgress(double fraction)
{
    if (TGaugeForm *form = CurrentProgress())
        form->SetProgress(fraction);
}

bool TQtProgress::Aborted()
{
    TGaugeForm *form = CurrentProgress();
    return form ? form->Aborted() : false;
}

void TQtProgress::SetAborted(bool aborted)
{
    if (TGaugeForm *form = CurrentProgress())
        form->SetAborted(aborted);
}

} // namespace tessaly::gui
