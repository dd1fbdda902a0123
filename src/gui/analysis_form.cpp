// The analysis run and its result window.
#include "gui/analysis_form.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "gui/gauge_form.h"
#include "project/project_session.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

QString Q(const std::string &text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

} // namespace

bool RunProjectAnalysis(TProjectSession &session, QWidget *owner, TAnalysisResult &result)
{
    TQtProgress progress(owner);
    const bool done = AnalyzeProject(session.Project(), &progress, result);
    CloseProgress();
    return done;
}

TAnalysisForm::TAnalysisForm(const TAnalysisResult &result, QWidget *parent) : QDialog(parent)
{
    setObjectName("TAnalysisForm");
    setWindowTitle(Q(Msg("CapAnalysis")));
    const std::vector<TAnalysisRow> rows = AnalysisRows(result);

    FGrid = new QTableWidget(int(rows.size()), 3, this);
    FGrid->setObjectName("Grid");
    FGrid->setHorizontalHeaderLabels({Q(Msg("AnaHeadQuantity")),
                                      Q(Msg("AnaHeadValue")),
                                      Q(Msg("AnaHeadFrame"))});
    QFont bold = FGrid->horizontalHeader()->font();
    bold.setBold(true);
    FGrid->horizontalHeader()->setFont(bold);
    FGrid->verticalHeader()->hide();
    FGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    FGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    // The selected row in yellow, whether the grid has the focus or not.
    QPalette palette = FGrid->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, QColor(255, 255, 0));
        palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    FGrid->setPalette(palette);
    for (int r = 0; r < int(rows.size()); ++r) {
        const std::string *texts[3] = {&rows[size_t(r)].Label, &rows[size_t(r)].Value, &rows[size_t(r)].Frame};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(Q(*texts[c]));
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            FGrid->setItem(r, c, item);
        }
    }
    FGrid->resizeColumnsToContents();
    FGrid->horizontalHeader()->setStretchLastSection(true);

    FGoTo = new QPushButton(Q(Msg("CapGoto")), this);
    FGoTo->setObjectName("GotoBtn");
    FGoTo->setEnabled(false);
    auto *close = new QPushButton(Q(Msg("CapClose")), this);
    close->setObjectName("CloseBtn");
    close->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(FGoTo);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FGrid);
    layout->addLayout(buttons);
    resize(420, 330);

    connect(FGrid, &QTableWidget::itemSelectionChanged, this, &TAnalysisForm::SelectionChanged);
    connect(FGrid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { GoToRow(row); });
    connect(FGoTo, &QPushButton::clicked, this, [this] { GoToRow(FGrid->currentRow()); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

int32_t TAnalysisForm::RowFrame(int row) const
{
    QTableWidgetItem *item = FGrid->item(row, 2);
    if (!item)
        return -1;
    bool ok = false;
    const int frame = item->text().toInt(&ok);
    return ok ? frame : -1;
}

void TAnalysisForm::SelectionChanged()
{
    const QList<QTableWidgetItem *> selected = FGrid->selectedItems();
    FGoTo->setEnabled(!selected.isEmpty() && RowFrame(selected.first()->row()) >= 0);
}

void TAnalysisForm::GoToRow(int row)
{
    const int32_t frame = RowFrame(row);
    if (frame >= 0)
        emit GoToFrame(frame);
}

} // namespace tessaly::gui
