// The suggestion dialog.
#include "gui/suggest_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QVBoxLayout>

#include "gui/qt_text.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

// The plot's own size ratio (the picture is drawn 1000 x 430).
constexpr int kPlotWidth = 1000, kPlotHeight = 430;

QString DetailText(const autosync::TSuggestRun &run)
{
    std::string text = autosync::SuggestTable(run);
    text += "\nMarkers (" + std::to_string(run.MarkerLines.size()) + "):\n";
    for (const std::string &line : run.MarkerLines)
        text += "  " + line + "\n";
    return Q(text);
}

} // namespace

TSuggestDialog::TSuggestDialog(const autosync::TSuggestRun &run, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TSuggestDlg"));
    setWindowTitle(Q(Msg("CapSuggest")));
    FSummary = new QLabel(Q(autosync::SuggestSummary(run)), this);
    FSummary->setObjectName(QStringLiteral("SummaryLabel"));
    FSummary->setWordWrap(true);
    FPlot = new QSvgWidget(this);
    FPlot->setObjectName(QStringLiteral("PlotView"));
    FPlot->load(QByteArray::fromStdString(run.Svg));
    FPlot->renderer()->setAspectRatioMode(Qt::KeepAspectRatio);
    FPlot->setMinimumSize(kPlotWidth * 2 / 3, kPlotHeight * 2 / 3);
    FDetails = new QPlainTextEdit(DetailText(run), this);
    FDetails->setObjectName(QStringLiteral("DetailsView"));
    FDetails->setReadOnly(true);
    FDetails->setLineWrapMode(QPlainTextEdit::NoWrap);
    FDetails->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *note = new QLabel(Q(Msg("CapSuggestNote")),
                            this);
    note->setObjectName(QStringLiteral("NoteLabel"));
    note->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    FApply = buttons->addButton(Q(Msg("CapSuggestApply")), QDialogButtonBox::AcceptRole);
    FApply->setObjectName(QStringLiteral("ApplyBtn"));
    FApply->setDefault(true);
    // Markers that would not reproduce the measurement once stored are shown, not applied.
    FApply->setEnabled(autosync::SuggestionUsable(run));
    FSavePlot = buttons->addButton(Q(Msg("CapSavePlot")), QDialogButtonBox::ActionRole);
    FSavePlot->setObjectName(QStringLiteral("SavePlotBtn"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FSummary);
    layout->addWidget(FPlot, 3);
    layout->addWidget(FDetails, 2);
    layout->addWidget(note);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FSavePlot, &QPushButton::clicked, this, &TSuggestDialog::SavePlotRequested);
    resize(kPlotWidth + 40, kPlotHeight + 320);
}

} // namespace tessaly::gui
