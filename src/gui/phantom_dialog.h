// TPhantomDialog: the "Create phantom video clip" dialog: length in frames, the frame-rate
// choice and the rate and scale fields (editable with the choice "Rate / Scale").
#pragma once

#include <QDialog>

#include "project/media_open.h"

class QComboBox;
class QPushButton;
class QSpinBox;

namespace tessaly::gui {

class TPhantomDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPhantomDialog(QWidget *parent = nullptr);
    void SetValues(const TPhantomValues &values);
    TPhantomValues Values() const;

private:
    void PresetChosen(int index);
    void FieldsChanged();

    QSpinBox *FLength;
    QComboBox *FPreset;
    QSpinBox *FRate;
    QSpinBox *FScale;
    QPushButton *FOk;
    bool FFilling = false;
};

} // namespace tessaly::gui
