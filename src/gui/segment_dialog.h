// TSegmentDialog: the question about a numbered file sequence: the files listed with
// ticks (all ticked, the first selected) and the choices load ticked, load selected, cancel.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "shell/user_interface.h"

class QListWidget;

namespace tessaly::gui {

class TSegmentDialog : public QDialog {
    Q_OBJECT
public:
    // `names`: the files as shown; `showHelp` adds the help button.
    TSegmentDialog(const std::string &caption, const std::vector<std::string> &names, bool showHelp,
                   QWidget *parent = nullptr);

    // Runs the dialog: the choice with the ticks and the selected row.
    TSegmentAnswer Ask();

private:
    QListWidget *FList;
    TSegmentChoice FChoice = scCancel;
};

} // namespace tessaly::gui
