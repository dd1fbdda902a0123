// The project analysis of the window (F6, "Analyze project ..."): the scan under the
// progress window, and TAnalysisForm, the result window "Project analysis" with its grid
// of quantities, values and frames and the "Go to" button.
#pragma once

#include <QDialog>

#include "project/analysis.h"

class QPushButton;
class QTableWidget;

namespace tessaly {
class TProjectSession;
} // namespace tessaly

namespace tessaly::gui {

// Scans the project with the progress window over `owner` (disabled meanwhile); false
// when the user aborted (no result window is due then).
bool RunProjectAnalysis(TProjectSession &session, QWidget *owner, TAnalysisResult &result);

class TAnalysisForm : public QDialog {
    Q_OBJECT
public:
    TAnalysisForm(const TAnalysisResult &result, QWidget *parent = nullptr);

    QTableWidget &Grid() const { return *FGrid; }
    QPushButton &GoToButton() const { return *FGoTo; }
    // The frame of a grid row, -1 when the row has none.
    int32_t RowFrame(int row) const;

signals:
    // "Go to" or a double click on a row with a frame.
    void GoToFrame(int32_t frame);

private:
    void SelectionChanged();
    void GoToRow(int row);

    QTableWidget *FGrid = nullptr;
    QPushButton *FGoTo = nullptr;
};

} // namespace tessaly::gui
