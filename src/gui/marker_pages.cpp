// TMarkerPages: the marker and chapter pages, laid out once and switched by page.
#include "gui/marker_pages.h"

#include "gui/qt_text.h"
#include "shell/messages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tessaly::gui {

namespace {
template <class T>
T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

QLineEdit *NewNumberEdit(QWidget *parent, const char *name)
{
    auto *edit = Named(new QLineEdit(parent), name);
    static const QRegularExpression allowed(QStringLiteral("[0-9,.\\-]*"));
    edit->setValidator(new QRegularExpressionValidator(allowed, edit));
    return edit;
}

TMarkerPages::TMarkerPages(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MarkerPanel"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    FStack = new QStackedWidget(this);
    outer->addWidget(FStack);

    // New marker: one button per kind.
    auto *newPage = Named(new QWidget(FStack), "NewMarkerPage");
    auto *newGrid = new QGridLayout(newPage);
    SplineButton = Named(new QPushButton(Q(Msg("TMainForm.SplineBtn.Caption")), newPage), "SplineBtn");
    RelCutButton = Named(new QPushButton(Q(Msg("TMainForm.RelCutBtn.Caption")), newPage), "RelCutBtn");
    DShiftButton = Named(new QPushButton(Q(Msg("TMainForm.DShiftBtn.Caption")), newPage), "DShiftBtn");
    OptionButton = Named(new QPushButton(Q(Msg("TMainForm.OptionBtn.Caption")), newPage), "OptionBtn");
    newGrid->addWidget(SplineButton, 0, 0);
    newGrid->addWidget(RelCutButton, 0, 1);
    newGrid->addWidget(DShiftButton, 1, 0);
    newGrid->addWidget(OptionButton, 1, 1);
    FStack->addWidget(newPage);

    // Edit marker: shift or option properties over a delete button.
    FEditPage = Named(new QWidget(FStack), "EditMarkerPage");
    auto *editLayout = new QVBoxLayout(FEditPage);
    FProperties = new QStackedWidget(FEditPage);
    auto *shiftPage = Named(new QWidget(FProperties), "ShiftPage");
    auto *shiftRow = new QHBoxLayout(shiftPage);
    shiftRow->setContentsMargins(0, 0, 0, 0);
    EnableBox = Named(new QCheckBox(Q(Msg("TMainForm.EnableBox.Caption")), shiftPage), "EnableBox");
    ShiftEdit = NewNumberEdit(shiftPage, "ShiftEdit");
    AffectButton = Named(new QToolButton(shiftPage), "AffectBtn");
    AffectButton->setText(Q(Msg("TMainForm.AffectBtn.Caption")));
    AffectButton->setCheckable(true);
    shiftRow->addWidget(EnableBox);
    shiftRow->addWidget(ShiftEdit, 1);
    shiftRow->addWidget(AffectButton);
    FProperties->addWidget(shiftPage);
    auto *optionPage = Named(new QWidget(FProperties), "OptionPage");
    auto *optionRow = new QHBoxLayout(optionPage);
    optionRow->setContentsMargins(0, 0, 0, 0);
    AudioBox = Named(new QCheckBox(Q(Msg("TMainForm.AudioBox.Caption")), optionPage), "AudioBox");
    DoubleBox = Named(new QCheckBox(Q(Msg("TMainForm.DoubleBox.Caption")), optionPage), "DoubleBox");
    VolumeEdit = NewNumberEdit(optionPage, "VolumeEdit");
    auto *percent = Named(new QLabel(QStringLiteral("%"), optionPage), "VolumeLabel");
    optionRow->addWidget(AudioBox);
    optionRow->addWidget(DoubleBox);
    optionRow->addWidget(VolumeEdit, 1);
    optionRow->addWidget(percent);
    FProperties->addWidget(optionPage);
    editLayout->addWidget(FProperties);
    DeleteButton = Named(new QPushButton(Q(Msg("TMainForm.DeleteMarkerBtn.Caption")), FEditPage), "DeleteMarkerBtn");
    editLayout->addWidget(DeleteButton);
    FStack->addWidget(FEditPage);

    // Edit chapter.
    auto *chapterPage = Named(new QWidget(FStack), "ChapterPage");
    auto *chapterGrid = new QGridLayout(chapterPage);
    ChapterAddButton = Named(new QPushButton(Q(Msg("TMainForm.ChapterAddBtn.Caption")), chapterPage), "ChapterAddBtn");
    ChapterDelButton = Named(new QPushButton(Q(Msg("TMainForm.ChapterDelBtn.Caption")), chapterPage), "ChapterDelBtn");
    SubdivideButton = Named(new QPushButton(Q(Msg("TMainForm.SubdivideBtn.Caption")), chapterPage), "SubdivideBtn");
    SubdivideButton->setCheckable(true);
    ConcatBox = Named(new QCheckBox(Q(Msg("TMainForm.ConcatBox.Caption")), chapterPage), "ConcatBox");
    CalculateButton = Named(new QPushButton(Q(Msg("TMainForm.CalculateBtn.Caption")), chapterPage), "CalculateBtn");
    chapterGrid->addWidget(ChapterAddButton, 0, 0);
    chapterGrid->addWidget(ChapterDelButton, 0, 1);
    chapterGrid->addWidget(SubdivideButton, 1, 0, 1, 2);
    chapterGrid->addWidget(ConcatBox, 2, 0, 1, 2);
    chapterGrid->addWidget(CalculateButton, 3, 0, 1, 2);
    FStack->addWidget(chapterPage);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
}

void TMarkerPages::ShowPage(TMarkerPanelPage page)
{
    FPage = page;
    switch (page) {
    case mpNewMarker:
        FStack->setCurrentIndex(0);
        break;
    case mpShiftProperties:
    case mpOptionProperties:
        FProperties->setCurrentIndex(page == mpShiftProperties ? 0 : 1);
        FStack->setCurrentWidget(FEditPage);
        break;
    case mpChapter:
        FStack->setCurrentIndex(2);
        break;
    }
}

} // namespace tessaly::gui
