// THelpWindow and TAboutDlg.
#include "gui/help_window.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/qt_text.h"
#include "shell/messages.h"
#include "shell/help_topics.h"

#ifndef TESSALY_VERSION
#define TESSALY_VERSION "0"
#endif

namespace tessaly::gui {

const char *ProgramVersion()
{
    return TESSALY_VERSION;
}

THelpWindow::THelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("THelpForm"));
    setWindowTitle(Q(Msg("THelpForm.Caption")));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    FBrowser = new QTextBrowser(this);
    FBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    FBrowser->setOpenExternalLinks(true);   // links out of the manual go to the system
    layout->addWidget(FBrowser);
    resize(760, 600);
}

void THelpWindow::ShowTopic(int topic)
{
    const THelpPage page = HelpPageOf(topic);
    QUrl url = QUrl::fromLocalFile(Q(HelpFileOf(topic)));
    if (*page.Anchor)
        url.setFragment(QString::fromUtf8(page.Anchor));
    FBrowser->setSource(url);
    show();
    raise();
    activateWindow();
}

THelpWindow *ShowHelpTopic(int topic, QWidget *owner)
{
    auto *help = new THelpWindow(owner);
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->ShowTopic(topic);
    return help;
}

QPushButton *NewHelpButton(int topic, QWidget *owner)
{
    auto *button = new QPushButton(Q(Msg("CapHelpButton")), owner);
    button->setObjectName(QStringLiteral("BtnHelp"));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, owner, [topic, owner] { ShowHelpTopic(topic, owner); });
    return button;
}

TAboutDlg::TAboutDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(Q(Msg("TAboutBox.Caption")));
    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("<b>Tessaly</b>"), this);
    title->setObjectName(QStringLiteral("ProductLabel"));
    FVersion = new QLabel(Q(FormatText(Msg("CapAboutVersion"), {ProgramVersion()})), this);
    FVersion->setObjectName(QStringLiteral("VersionLabel"));
    auto *licence = new QLabel(Q(Msg("TAboutBox.LicenceLabel.Caption")), this);
    licence->setObjectName(QStringLiteral("LicenceLabel"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    for (QWidget *w : {static_cast<QWidget *>(title), static_cast<QWidget *>(FVersion),
                       static_cast<QWidget *>(licence), static_cast<QWidget *>(buttons)})
        layout->addWidget(w);
}

} // namespace tessaly::gui
