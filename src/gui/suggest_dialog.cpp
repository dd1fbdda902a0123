// The suggestion dialog.
#include "gui/suggest_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
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
    // Small least sizes: on a low screen (or at a large scale factor) the dialog shrinks
    // with its buttons inside; the splitter lets the user give the room to either part.
    FPlot->setMinimumSize(kPlotWidth / 4, kPlotHeight / 4);
    FDetails = new QPlainTextEdit(DetailText(run), this);
    FDetails->setObjectName(QStringLiteral("DetailsView"));
    FDetails->setReadOnly(true);
    FDetails->setLineWrapMode(QPlainTextEdit::NoWrap);
    FDetails->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    FDetails->setMinimumHeight(QFontMetrics(FDetails->font()).lineSpacing() * 3 + 2 * FDetails->frameWidth());
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
    auto *parts = new QSplitter(Qt::Vertical, this);
    parts->setObjectName(QStringLiteral("PlotSplitter"));
    parts->setChildrenCollapsible(false);
    parts->addWidget(FPlot);
    parts->addWidget(FDetails);
    parts->setStretchFactor(0, 3);
    parts->setStretchFactor(1, 2);
    layout->addWidget(parts, 1);
    layout->addWidget(note);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(FSavePlot, &QPushButton::clicked, this, &TSuggestDialog::SavePlotRequested);
    resize(kPlotWidth + 40, kPlotHeight + 320);
}

} // namespace tessaly::gui
