// TSuggestDialog: the markers a suggestion would place, shown before they are applied:
// the summary, the picture of the measured offset with the fitted curve and the
// markers, the table of decisions and the marker lines.
#pragma once

#include <QDialog>

#include "autosync/suggest_run.h"

class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSvgWidget;

namespace tessaly::gui {

class TSuggestDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSuggestDialog(const autosync::TSuggestRun &run, QWidget *parent = nullptr);

    QLabel &Summary() const { return *FSummary; }
    QSvgWidget &Plot() const { return *FPlot; }
    QPlainTextEdit &Details() const { return *FDetails; }
    QPushButton &ApplyButton() const { return *FApply; }
    // Asks for a file name and writes the picture there.
    QPushButton &SavePlotButton() const { return *FSavePlot; }

signals:
    void SavePlotRequested();

private:
    QLabel *FSummary = nullptr;
    QSvgWidget *FPlot = nullptr;
    QPlainTextEdit *FDetails = nullptr;
    QPushButton *FApply = nullptr;
    QPushButton *FSavePlot = nullptr;
};

} // namespace tessaly::gui
