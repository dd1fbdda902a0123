// TProjectSettingsDlg: building the window and reading its values back.
#include "gui/project_settings_dlg.h"

#include "gui/qt_text.h"
#include "shell/messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "project/resampler_texts.h"

namespace tessaly::gui {

TProjectSettingsDlg::TProjectSettingsDlg(const TProjectOptions &options, QWidget *parent)
    : QDialog(parent), FOptions(options)
{
    setObjectName(QStringLiteral("TPrjSettingsDlg"));
    setWindowTitle(Q(Msg("TPrjSettingsDlg.Caption")));
    auto *layout = new QVBoxLayout(this);
    FCrossFading = new QCheckBox(Q(Msg("TPrjSettingsDlg.ChkCrossFading.Caption")), this);
    FCrossFading->setObjectName(QStringLiteral("ChkCrossFading"));
    FCrossFading->setChecked(options.CrossFading);
    layout->addWidget(FCrossFading);
    auto *row = new QHBoxLayout;
    FOffsetBox = new QCheckBox(Q(Msg("TPrjSettingsDlg.ChkPreviewOffset.Caption")), this);
    FOffsetBox->setObjectName(QStringLiteral("ChkPreviewOffset"));
    FOffsetBox->setChecked(options.UseGlobalShift);
    FOffset = new QSpinBox(this);
    FOffset->setObjectName(QStringLiteral("EdtPreviewOffset"));
    FOffset->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    FOffset->setValue(options.GlobalShift);
    FOffset->setEnabled(options.UseGlobalShift);
    connect(FOffsetBox, &QCheckBox::toggled, FOffset, &QWidget::setEnabled);
    row->addWidget(FOffsetBox);
    row->addWidget(FOffset, 1);
    layout->addLayout(row);

    auto *mixing = new QFormLayout;
    FResampling = new QComboBox(this);
    FResampling->setObjectName(QStringLiteral("CmbResampling"));
    for (const std::string &text : ResamplingChoiceTexts())
        FResampling->addItem(QString::fromStdString(text));
    FResampling->setCurrentIndex(options.Resampling);
    auto *resamplingLabel = new QLabel(Q(Msg("TPrjSettingsDlg.LblResampling.Caption")), this);
    resamplingLabel->setObjectName(QStringLiteral("LblResampling"));
    resamplingLabel->setBuddy(FResampling);
    mixing->addRow(resamplingLabel, FResampling);
    FCrossFadeMs = new QSpinBox(this);
    FCrossFadeMs->setObjectName(QStringLiteral("EdtCrossFadeMs"));
    FCrossFadeMs->setRange(0, kMaxCrossFadeMs);
    FCrossFadeMs->setValue(options.CrossFadeMs);
    auto *fadeLabel = new QLabel(Q(Msg("TPrjSettingsDlg.LblCrossFadeMs.Caption")), this);
    fadeLabel->setObjectName(QStringLiteral("LblCrossFadeMs"));
    fadeLabel->setBuddy(FCrossFadeMs);
    mixing->addRow(fadeLabel, FCrossFadeMs);
    layout->addLayout(mixing);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TProjectOptions TProjectSettingsDlg::Options() const
{
    TProjectOptions o = FOptions;
    o.CrossFading = FCrossFading->isChecked();
    o.UseGlobalShift = FOffsetBox->isChecked();
    o.GlobalShift = FOffset->value();
    o.Resampling = static_cast<TResampling>(FResampling->currentIndex());
    o.CrossFadeMs = FCrossFadeMs->value();
    return o;
}

} // namespace tessaly::gui
