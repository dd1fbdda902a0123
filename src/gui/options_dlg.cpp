// TOptionsDlg: the "Settings" window: layout, reading the keys on each showing, the
// close-button rule and the writes.
#include "gui/options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

#include "gui/help_window.h"
#include "gui/language_apply.h"
#include "gui/qt_text.h"
#include "project/tool_window_rules.h"
#include "shell/help_topics.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly::gui {

namespace {

bool ChooseWithDialog(QWidget *parent, std::string &folder)
{
    const QString chosen = QFileDialog::getExistingDirectory(parent, Q(Msg("CapDlgTempDir")),
                                                             Q(folder), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    folder = S(chosen);
    return true;
}

template <class T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TOptionsDlg::TOptionsDlg(TSettings &settings, TUserInterface &ui, QWidget *parent)
    : QDialog(parent), FSettings(settings), FUi(ui)
{
    setObjectName(QStringLiteral("TOptionsDlg"));
    setWindowTitle(Q(Msg("TOptionsDlg.Caption")));
    FChooseFolder = [this](std::string &folder) { return ChooseWithDialog(this, folder); };

    auto *layout = new QVBoxLayout(this);
    auto *tempLabel = Named(new QLabel(Q(Msg("TOptionsDlg.LblTempDir.Caption"))), "LblTempDir");
    layout->addWidget(tempLabel);
    auto *folderRow = new QHBoxLayout;
    FTempDirPanel = Named(new QLabel, "PnlTempDir");
    FTempDirPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FTempDirPanel->setMinimumWidth(240);
    FTempDirButton = Named(new QToolButton, "BtnTempDir");
    FTempDirButton->setText(QStringLiteral("..."));
    tempLabel->setBuddy(FTempDirButton);   // Alt+T chooses the folder; the "&" is a mnemonic
    FTempDirButton->setToolTip(Q(Msg("CapDlgTempDir")));
    folderRow->addWidget(FTempDirPanel, 1);
    folderRow->addWidget(FTempDirButton);
    layout->addLayout(folderRow);

    auto *offsetRow = new QHBoxLayout;
    FOffsetBox = Named(new QCheckBox(Q(Msg("TOptionsDlg.ChkPreviewOffset.Caption"))), "ChkPreviewOffset");
    FOffsetField = Named(new QSpinBox, "EdtPreviewOffset");
    FOffsetField->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    offsetRow->addWidget(FOffsetBox);
    offsetRow->addWidget(FOffsetField, 1);
    layout->addLayout(offsetRow);
    FSegmentBox = Named(new QCheckBox(Q(Msg("TOptionsDlg.ChkSegments.Caption"))),
                        "ChkSegments");
    layout->addWidget(FSegmentBox);
    auto *cacheRow = new QHBoxLayout;
    auto *cacheLabel = Named(new QLabel(Q(Msg("TOptionsDlg.LblFrameCache.Caption"))), "LblFrameCache");
    FCacheField = Named(new QSpinBox, "EdtFrameCache");
    FCacheField->setRange(TSettings::kMinFrameCacheMB, TSettings::kMaxFrameCacheMB);
    FCacheField->setSuffix(QStringLiteral(" MB"));
    cacheLabel->setBuddy(FCacheField);
    cacheRow->addWidget(cacheLabel);
    cacheRow->addWidget(FCacheField, 1);
    layout->addLayout(cacheRow);

    auto *group = Named(new QGroupBox(Q(Msg("TOptionsDlg.GrpSR.Caption"))), "GrpSR");
    auto *grid = new QGridLayout(group);
    FWarnLoadBox = Named(new QCheckBox(Q(Msg("TOptionsDlg.ChkSRWarnLoad.Caption"))), "ChkSRWarnLoad");
    FWarnCalcBox = Named(new QCheckBox(Q(Msg("TOptionsDlg.ChkSRWarnCalc.Caption"))), "ChkSRWarnCalc");
    FLimitBox = Named(new QCheckBox(Q(Msg("TOptionsDlg.ChkSRLimit.Caption"))), "ChkSRLimit");
    FSizeList = Named(new QComboBox, "CmbSRSize");
    FSizeList->setEditable(true);
    FSizeList->addItems({"24", "48", "96", "192", "384", "512"});
    FPixelsLabel = Named(new QLabel(Q(Msg("TOptionsDlg.LblPixels.Caption"))), "LblPixels");
    grid->addWidget(FWarnLoadBox, 0, 0, 1, 3);
    grid->addWidget(FWarnCalcBox, 1, 0, 1, 3);
    grid->addWidget(FLimitBox, 2, 0);
    grid->addWidget(FSizeList, 2, 1);
    grid->addWidget(FPixelsLabel, 2, 2);
    layout->addWidget(group);

    auto *buttons = new QHBoxLayout;
    FCloseButton = Named(new QPushButton(Q(Msg("TOptionsDlg.BtnClose.Caption"))), "BtnClose");
    FCloseButton->setDefault(true);
    buttons->addWidget(NewHelpButton(htSettings, this));
    buttons->addStretch(1);
    buttons->addWidget(FCloseButton);
    layout->addLayout(buttons);

    connect(FTempDirButton, &QToolButton::clicked, this, &TOptionsDlg::ChooseTempDir);
    connect(FOffsetBox, &QCheckBox::toggled, this, &TOptionsDlg::UpdateEnables);
    connect(FLimitBox, &QCheckBox::toggled, this, &TOptionsDlg::UpdateEnables);
    connect(FSizeList, &QComboBox::currentTextChanged, this, &TOptionsDlg::UpdateEnables);
    connect(FCloseButton, &QPushButton::clicked, this, &TOptionsDlg::StoreAndClose);
    LoadKeys();
}

void TOptionsDlg::LoadKeys()
{
    FTempDir = Q(FSettings.TempDir());
    ShowTempDir();
    FOffsetBox->setChecked(FSettings.UseDefGlobShift());
    FOffsetField->setValue(FSettings.PreviewOffset());
    FSegmentBox->setChecked(FSettings.SegmentSearch());
    FCacheField->setValue(FSettings.FrameCacheMB());
    FWarnLoadBox->setChecked(FSettings.SRWarnOnLoad());
    FWarnCalcBox->setChecked(FSettings.SRWarnOnCalc());
    FLimitBox->setChecked(FSettings.SRLimitSize());
    FSizeList->setEditText(Q(FSettings.SRSizeLimit()));
    UpdateEnables();
}

void TOptionsDlg::UpdateEnables()
{
    FOffsetField->setEnabled(FOffsetBox->isChecked());
    FSizeList->setEnabled(FLimitBox->isChecked());
    FPixelsLabel->setEnabled(FLimitBox->isChecked());
    FCloseButton->setEnabled(OptionsCloseEnabled(FLimitBox->isChecked(), S(FSizeList->currentText())));
}

void TOptionsDlg::ShowTempDir()
{
    const int width = std::max(0, FTempDirPanel->width() - 12);
    FTempDirPanel->setText(FTempDirPanel->fontMetrics().elidedText(QLatin1Char(' ') + FTempDir, Qt::ElideMiddle, width));
    FTempDirPanel->setToolTip(FTempDir);
}

bool TOptionsDlg::Store(const std::function<void()> &write)
{
    try {
        write();
        return true;
    } catch (const ESettingsWriteError &error) {
        FUi.Error(error.what());
        return false;
    }
}

void TOptionsDlg::ChooseTempDir()
{
    std::string folder = S(FTempDir);
    if (!FChooseFolder || !FChooseFolder(folder) || folder.empty())
        return;
    // SetTempDir deletes the temporary file in the old folder before storing the new one.
    Store([&] { FSettings.SetTempDir(folder); });
    FTempDir = Q(FSettings.TempDir());
    ShowTempDir();
}

void TOptionsDlg::StoreAndClose()
{
    if (!FCloseButton->isEnabled())
        return;
    const bool stored = Store([this] {
        FSettings.SetPreviewOffset(FOffsetField->value());
        FSettings.SetUseDefGlobShift(FOffsetBox->isChecked());
        FSettings.SetDisableSegments(!FSegmentBox->isChecked());
        FSettings.SetFrameCacheMB(FCacheField->value());
        FSettings.SetSRWarnOnLoad(FWarnLoadBox->isChecked());
        FSettings.SetSRWarnOnCalc(FWarnCalcBox->isChecked());
        FSettings.SetSRLimitSize(FLimitBox->isChecked());
        FSettings.SetSRSizeLimit(S(FSizeList->currentText()));
    });
    if (stored)
        accept();
}

void TOptionsDlg::showEvent(QShowEvent *event)
{
    ApplyLanguage(*this);
    LoadKeys();
    QDialog::showEvent(event);
}

void TOptionsDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    ShowTempDir();
}

} // namespace tessaly::gui
