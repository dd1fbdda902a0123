// TInsertChaptersDialog: the "Insert chapters" question: chapters of a fixed length (at
// least 100 frames) or around the parts that backward cuts leave out, and whether the
// chapter list is cleared first.
#pragma once

#include <cstdint>

#include <QDialog>

#include "project/analysis.h"

class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QRadioButton;

namespace tessaly::gui {

class TInsertChaptersDialog : public QDialog {
    Q_OBJECT
public:
    // interval: the stored AutoChapters interval the field starts with.
    explicit TInsertChaptersDialog(int32_t interval, QWidget *parent = nullptr);

    TAutoChapterMode Mode() const;
    // The interval typed in; -1 when the field does not hold an integer.
    int32_t Interval() const;
    bool ClearFirst() const;
    // OK is allowed in skip mode, or in fixed-length mode with an interval of 100 or more.
    bool Acceptable() const;

    QRadioButton &FixedButton() const { return *FFixed; }
    QRadioButton &SkipButton() const { return *FSkip; }
    QLineEdit &IntervalField() const { return *FInterval; }
    QCheckBox &ClearBox() const { return *FClear; }
    QDialogButtonBox &Buttons() const { return *FButtons; }

private:
    void UpdateOk();

    QRadioButton *FFixed = nullptr;
    QRadioButton *FSkip = nullptr;
    QLineEdit *FInterval = nullptr;
    QCheckBox *FClear = nullptr;
    QDialogButtonBox *FButtons = nullptr;
};

} // namespace tessaly::gui
