// TProjectSettingsDlg: the "Project settings" window: automatic cross-fading, the preview
// offset of the open project (the offset field only while its box is ticked), how the
// primary track is read along the curve and the fade at cuts and track switches.
#pragma once

#include <QDialog>

#include "project/project_options.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace tessaly::gui {

class TProjectSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Starts with the values of `options`.
    explicit TProjectSettingsDlg(const TProjectOptions &options, QWidget *parent = nullptr);

    // `options` with the dialog's values put in (the other fields unchanged).
    TProjectOptions Options() const;

    QCheckBox &CrossFadingBox() const { return *FCrossFading; }
    QCheckBox &OffsetBox() const { return *FOffsetBox; }
    QSpinBox &OffsetField() const { return *FOffset; }
    QComboBox &ResamplingField() const { return *FResampling; }
    QSpinBox &CrossFadeField() const { return *FCrossFadeMs; }

private:
    TProjectOptions FOptions;
    QCheckBox *FCrossFading = nullptr;
    QCheckBox *FOffsetBox = nullptr;
    QSpinBox *FOffset = nullptr;
    QComboBox *FResampling = nullptr;
    QSpinBox *FCrossFadeMs = nullptr;
};

} // namespace tessaly::gui
