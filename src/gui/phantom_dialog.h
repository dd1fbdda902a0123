// TPhantomDialog: the "Create phantom video clip" dialog: length in frames and the
// frame rate as rate and scale.
#pragma once

#include <QDialog>

#include "project/project_sources.h"

class QSpinBox;

namespace tessaly::gui {

class TPhantomDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPhantomDialog(QWidget *parent = nullptr);
    // Starts the fields from a clip (the open video's values, or the defaults).
    void SetClip(const TPhantomClip &clip);
    // The clip of the fields: 96 x 72, pixel format 0.
    TPhantomClip Clip() const;

private:
    QSpinBox *FLength;
    QSpinBox *FRate;
    QSpinBox *FScale;
};

} // namespace tessaly::gui
