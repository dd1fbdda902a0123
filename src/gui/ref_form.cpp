// TRefForm: following the main video, drawing the reference frame, zoom, flip and fit.
#include "gui/ref_form.h"

#include "gui/qt_text.h"
#include "shell/messages.h"

#include "gui/help_window.h"
#include "shell/help_topics.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/frame_view.h"
#include "gui/language_apply.h"
#include "media/common/io_image.h"
#include "media/input/io_movie_reader.h"
#include "project/tool_window_rules.h"

namespace tessaly::gui {

namespace {
const int kZooms[] = {25, 50, 75, 100, 150, 200, 300, 500};
}

TRefForm::TRefForm(TIOMovieReader &source, QWidget *parent) : QWidget(parent, Qt::Tool), FSource(source)
{
    setObjectName(QStringLiteral("TRefForm"));
    setWindowTitle(Q(Msg("TRefForm.Caption")));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *bar = new QHBoxLayout;
    FZoomList = new QComboBox;
    FZoomList->setObjectName(QStringLiteral("CmbZoom"));
    for (int z : kZooms)
        FZoomList->addItem(QString::number(z));
    FFlipButton = new QToolButton;
    FFlipButton->setObjectName(QStringLiteral("SBtFlip"));
    FFlipButton->setText(Q(Msg("TRefForm.SBtFlip.Caption")));
    FFlipButton->setToolTip(Q(Msg("TRefForm.SBtFlip.Hint")));
    FFlipButton->setCheckable(true);
    FFitButton = new QToolButton;
    FFitButton->setObjectName(QStringLiteral("SBtFit"));
    FFitButton->setText(Q(Msg("TRefForm.SBtFit.Caption")));
    FFitButton->setToolTip(Q(Msg("TRefForm.SBtFit.Hint")));
    // A read-only field, not a label: applying a language restores labels' captions
    // but leaves fields alone, so the frame number stays.
    FFramePanel = new QLineEdit;
    FFramePanel->setObjectName(QStringLiteral("PnlFrame"));
    FFramePanel->setToolTip(Q(Msg("TRefForm.PnlFrame.Hint")));
    FFramePanel->setReadOnly(true);
    FFramePanel->setFocusPolicy(Qt::NoFocus);
    FFramePanel->setAlignment(Qt::AlignCenter);
    FFramePanel->setMaximumWidth(90);
    bar->addWidget(FZoomList);
    bar->addWidget(FFlipButton);
    bar->addWidget(FFitButton);
    bar->addStretch(1);
    bar->addWidget(FFramePanel);
    bar->addWidget(NewHelpButton(htReference, this));
    layout->addLayout(bar);
    FView = new TFrameView;
    FView->setAcceptDrops(false);
    FArea = new QScrollArea;
    FArea->setObjectName(QStringLiteral("ImageArea"));
    FArea->setAlignment(Qt::AlignCenter);
    FArea->setWidget(FView);
    layout->addWidget(FArea, 1);
    FZoomList->setCurrentIndex(3);

    connect(FZoomList, &QComboBox::activated, this, &TRefForm::ZoomChosen);
    connect(FFlipButton, &QToolButton::toggled, this, [this] {
        FShown = -1;
        Redraw();
    });
    connect(FFitButton, &QToolButton::clicked, this, &TRefForm::Fit);
}

TRefForm::~TRefForm() = default;

bool TRefForm::IsOpen() const
{
    return FSource.IsOpen() && !FSource.FileList().empty();
}

long double TRefForm::FrameRate() const
{
    return FSource.IsOpen() ? FSource.FrameRate() : -1;
}

const QImage &TRefForm::Picture() const
{
    return FView->Frame();
}

QString TRefForm::FrameText() const
{
    return FFramePanel->text();
}

void TRefForm::SourceChanged()
{
    FImage = FSource.IsOpen() ? FSource.NewFrameImage() : nullptr;
    FView->Clear();
    FFramePanel->clear();
    FShown = -1;
    FWanted = -1;
    if (!FImage)
        return;
    ApplyZoom();
    FFlipButton->blockSignals(true);
    FFlipButton->setChecked(false);
    FFlipButton->blockSignals(false);
    Follow(0, FSource.FrameRate());
}

void TRefForm::Follow(int32_t mainFrame, long double mainRate)
{
    FWanted = FSource.IsOpen() ? ReferenceFrame(FSource.FrameRate(), mainFrame, mainRate) : -1;
    Redraw();
}

void TRefForm::Redraw()
{
    if (!isVisible() || !FSource.IsOpen() || !FImage || (!FView->Frame().isNull() && FWanted == FShown))
        return;
    FSource.SetUpsideDown(FFlipButton->isChecked());
    if (FrameInside(FWanted, FSource.FrameCount()) && FSource.GetFrame(FWanted, *FImage))
        FView->SetFrame(*FImage);
    else
        FView->SetOutside(int(FImage->Width()), int(FImage->Height()));
    FShown = FWanted;
    FFramePanel->setText(QString::number(FShown));
}

int TRefForm::Zoom() const
{
    return FImage ? FZoom : 100;
}

void TRefForm::SetZoom(int percent)
{
    FZoom = std::max(1, percent);
    const int index = FZoomList->findText(QString::number(FZoom));
    if (index >= 0)
        FZoomList->setCurrentIndex(index);
    ApplyZoom();
}

void TRefForm::ZoomChosen()
{
    if (FZoomList->currentIndex() < 0)
        FZoomList->setCurrentIndex(3);
    FZoom = FZoomList->currentText().toInt();
    ApplyZoom();
    emit ZoomPicked(FZoom);
}

void TRefForm::ApplyZoom()
{
    if (FImage)
        FView->setFixedSize(std::max(1, int(FImage->Width()) * FZoom / 100),
                            std::max(1, int(FImage->Height()) * FZoom / 100));
    FView->SetZoom(FZoom);
    Fit();
}

void TRefForm::Fit()
{
    if (!isVisible())
        return;
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    const QRect frame = frameGeometry();
    const QSize border = frame.size() - size();
    const QRect inner = FView->geometry();
    const QSize client = FArea->viewport()->size();
    // The limit is the work area less the window frame.
    const TWindowRect limit{area.left(), area.top(), area.width() - border.width(), area.height() - border.height()};
    const TWindowRect r = FitWindowRect({x(), y(), width(), height()}, inner.width(), inner.height(), client.width(),
                                        client.height(), minimumSizeHint().width(), minimumSizeHint().height(), limit);
    resize(r.Width, r.Height);
    move(r.Left, r.Top);
}

void TRefForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ApplyLanguage(*this);
    FShown = -1;
    Redraw();
    Fit();
}

} // namespace tessaly::gui
