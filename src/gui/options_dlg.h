// TOptionsDlg: the "Settings" window over the global options of the settings file: the
// temporary folder, the default preview offset, the segment search and what happens
// when smart rendering is not available. Every key is read afresh on each showing and
// written only by the close button; a new temporary folder is stored at once.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace tessaly {
class TSettings;
class TUserInterface;
} // namespace tessaly

namespace tessaly::gui {

class TOptionsDlg : public QDialog {
    Q_OBJECT
public:
    // Nothing is owned; `ui` reports a refused settings write.
    TOptionsDlg(TSettings &settings, TUserInterface &ui, QWidget *parent = nullptr);

    // The folder selection behind the "..." button: gets the current folder, returns
    // false when cancelled. The default one is Qt's folder dialog.
    using TFolderChooser = std::function<bool(std::string &folder)>;
    void SetFolderChooser(TFolderChooser chooser) { FChooseFolder = std::move(chooser); }

    // Reads every key again and sets the elements (done on each showing).
    void LoadKeys();
    // The "..." button: picks a folder and stores it at once.
    void ChooseTempDir();
    // The close button: writes every key but TempDir and closes.
    void StoreAndClose();

    QPushButton *CloseButton() const { return FCloseButton; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void UpdateEnables();
    void ShowTempDir();
    bool Store(const std::function<void()> &write);

    TSettings &FSettings;
    TUserInterface &FUi;
    TFolderChooser FChooseFolder;
    QString FTempDir;
    QLabel *FTempDirPanel = nullptr;
    QToolButton *FTempDirButton = nullptr;
    QCheckBox *FOffsetBox = nullptr;
    QSpinBox *FOffsetField = nullptr;
    QSpinBox *FCacheField = nullptr;   // MiB of decoded pictures kept for stepping
    QCheckBox *FSegmentBox = nullptr;
    QCheckBox *FWarnLoadBox = nullptr;
    QCheckBox *FWarnCalcBox = nullptr;
    QCheckBox *FLimitBox = nullptr;
    QComboBox *FSizeList = nullptr;
    QLabel *FPixelsLabel = nullptr;
    QPushButton *FCloseButton = nullptr;
};

} // namespace tessaly::gui
