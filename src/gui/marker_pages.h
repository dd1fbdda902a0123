// TMarkerPages: the marker panel's pages beside the picture: new marker (four kinds), edit marker with
// the shift properties or the option properties, and edit chapter with the chapter buttons.
#pragma once

#include <QWidget>

#include "project/enables.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace tessaly::gui {

class TMarkerPages : public QWidget {
    Q_OBJECT
public:
    explicit TMarkerPages(QWidget *parent = nullptr);

    void ShowPage(TMarkerPanelPage page);
    TMarkerPanelPage Page() const { return FPage; }

    // New-marker page.
    QPushButton *SplineButton, *RelCutButton, *DShiftButton, *OptionButton;
    // Shift properties.
    QCheckBox *EnableBox;
    QLineEdit *ShiftEdit;
    QToolButton *AffectButton;
    // Option properties.
    QCheckBox *AudioBox, *DoubleBox;
    QLineEdit *VolumeEdit;
    // Both edit pages.
    QPushButton *DeleteButton;
    // Chapter page.
    QPushButton *ChapterAddButton, *ChapterDelButton, *SubdivideButton, *CalculateButton;
    QCheckBox *ConcatBox;

private:
    QStackedWidget *FStack;
    QStackedWidget *FProperties;
    QWidget *FEditPage;
    TMarkerPanelPage FPage = mpNewMarker;
};

// A line edit that takes only digits, comma, minus and full stop.
QLineEdit *NewNumberEdit(QWidget *parent, const char *name);

} // namespace tessaly::gui
