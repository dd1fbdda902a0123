// TEditLists: the marker and chapter lists and their buttons.
#include "gui/edit_lists.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "gui/qt_text.h"
#include "shell/messages.h"

namespace tessaly::gui {

namespace {

// The selected row of a single-selection list, -1 for none.
int SelectedRow(const QListWidget *list)
{
    const QList<QListWidgetItem *> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->row(items.first());
}

} // namespace

TEditLists::TEditLists(QWidget *parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("EditPages"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto *editing = new QWidget(this);
    editing->setObjectName(QStringLiteral("EditingPage"));
    auto *editLayout = new QVBoxLayout(editing);
    MarkerList = new QListWidget(editing);
    MarkerList->setObjectName(QStringLiteral("MarkerList"));
    MarkerList->setFont(fixed);
    MarkerList->setContextMenuPolicy(Qt::CustomContextMenu);
    editLayout->addWidget(MarkerList);
    auto *moveRow = new QHBoxLayout;
    MoveBackButton = new QPushButton(QStringLiteral("<"), editing);
    MoveBackButton->setObjectName(QStringLiteral("MoveBackBtn"));
    MoveForwardButton = new QPushButton(QStringLiteral(">"), editing);
    MoveForwardButton->setObjectName(QStringLiteral("MoveForwardBtn"));
    moveRow->addWidget(MoveBackButton);
    moveRow->addWidget(MoveForwardButton);
    editLayout->addLayout(moveRow);
    addTab(editing, Q(Msg("TMainForm.EditingPage.Caption")));

    auto *output = new QWidget(this);
    output->setObjectName(QStringLiteral("OutputPage"));
    auto *outLayout = new QVBoxLayout(output);
    ChapterList = new QListWidget(output);
    ChapterList->setObjectName(QStringLiteral("ChapterList"));
    ChapterList->setFont(fixed);
    outLayout->addWidget(ChapterList);
    addTab(output, Q(Msg("TMainForm.OutputPage.Caption")));

    // A row counts as chosen when the user selects it (click or keys). The current row alone
    // is not a choice: a list getting the focus back makes its first row current.
    connect(MarkerList, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = SelectedRow(MarkerList);
        if (!FFilling && row >= 0)
            emit MarkerChosen(row);
    });
    connect(ChapterList, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = SelectedRow(ChapterList);
        if (!FFilling && row >= 0)
            emit ChapterChosen(row);
    });
    connect(ChapterList, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (!FFilling)
            emit ChapterTicked(ChapterList->row(item), item->checkState() == Qt::Checked);
    });
}

void TEditLists::SetMarkerLines(const std::vector<std::string> &lines)
{
    bool same = MarkerList->count() == int(lines.size());
    for (int i = 0; same && i < MarkerList->count(); ++i)
        same = MarkerList->item(i)->text() == Q(lines[size_t(i)]);
    if (same)
        return;
    FFilling = true;
    MarkerList->clear();
    for (const std::string &line : lines)
        MarkerList->addItem(Q(line));
    FFilling = false;
}

void TEditLists::SetChapterLines(const std::vector<std::string> &lines, const std::vector<bool> &ticks)
{
    FFilling = true;
    bool same = ChapterList->count() == int(lines.size());
    for (int i = 0; same && i < ChapterList->count(); ++i)
        same = ChapterList->item(i)->text() == Q(lines[size_t(i)]);
    if (!same) {
        ChapterList->clear();
        for (const std::string &line : lines) {
            auto *item = new QListWidgetItem(Q(line), ChapterList);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        }
    }
    for (int i = 0; i < ChapterList->count(); ++i) {
        bool tick = size_t(i) < ticks.size() && ticks[size_t(i)];
        ChapterList->item(i)->setCheckState(tick ? Qt::Checked : Qt::Unchecked);
    }
    FFilling = false;
}

void TEditLists::SelectMarker(int row)
{
    FFilling = true;
    MarkerList->setCurrentRow(row);
    if (row < 0)
        MarkerList->clearSelection();
    FFilling = false;
}

void TEditLists::SelectChapter(int row)
{
    FFilling = true;
    ChapterList->setCurrentRow(row);
    if (row < 0)
        ChapterList->clearSelection();
    FFilling = false;
}

} // namespace tessaly::gui
