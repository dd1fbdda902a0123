// TSegmentDialog: the file list with ticks and the three choices.
#include "gui/segment_dialog.h"

#include "gui/help_window.h"
#include "shell/help_topics.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt_text.h"
#include "shell/messages.h"
#include "shell/language.h"

namespace tessaly::gui {

TSegmentDialog::TSegmentDialog(const std::string &caption, const std::vector<std::string> &names, bool showHelp,
                               QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TSegmentDlg"));
    setWindowTitle(caption.empty() ? Q(Msg("TSegmentDlg.Caption")) : Q(caption));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(Q(Msg("TSegmentDlg.QuestionLabel.Caption")),
                             this);
    label->setObjectName(QStringLiteral("QuestionLabel"));
    label->setWordWrap(true);
    layout->addWidget(label);
    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("FileList"));
    for (const std::string &name : names) {
        auto *item = new QListWidgetItem(Q(name), FList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    FList->setCurrentRow(0);
    layout->addWidget(FList);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ticked = buttons->addButton(Q(Msg("TSegmentDlg.TickedBtn.Caption")), QDialogButtonBox::AcceptRole);
    ticked->setObjectName(QStringLiteral("TickedBtn"));
    QPushButton *selected = buttons->addButton(Q(Msg("TSegmentDlg.SelectedBtn.Caption")), QDialogButtonBox::AcceptRole);
    selected->setObjectName(QStringLiteral("SelectedBtn"));
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    if (showHelp) {
        QPushButton *help = buttons->addButton(QDialogButtonBox::Help);
        help->setObjectName(QStringLiteral("HelpBtn"));
        // The manual's page on numbered files, in a help window over this dialog (a
        // window of the modal dialog stays usable while the question waits).
        connect(help, &QPushButton::clicked, this, [this] { ShowHelpTopic(htSegments, this); });
    }
    connect(ticked, &QPushButton::clicked, this, [this] { FChoice = scAll; accept(); });
    connect(selected, &QPushButton::clicked, this, [this] { FChoice = scSelected; accept(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    ticked->setDefault(true);
}

TSegmentAnswer TSegmentDialog::Ask()
{
    FChoice = scCancel;
    TSegmentAnswer answer;
    answer.Choice = exec() == QDialog::Accepted ? FChoice : scCancel;
    for (int i = 0; i < FList->count(); ++i)
        answer.Ticked.push_back(FList->item(i)->checkState() == Qt::Checked);
    answer.Selected = std::max(0, FList->currentRow());
    return answer;
}

} // namespace tessaly::gui
