// TFilePanel: the media entries laid out in a grid.
#include "gui/file_panel.h"

#include "gui/qt_text.h"
#include "shell/messages.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QToolButton>

namespace tessaly::gui {

TElidedLabel::TElidedLabel(QWidget *parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setFrameShape(QFrame::StyledPanel);
}

void TElidedLabel::SetFullText(const QString &text)
{
    FFull = text;
    setToolTip(text);
    Elide();
}

void TElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void TElidedLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && isEnabled())
        emit DoubleClicked();
}

void TElidedLabel::Elide()
{
    const int room = std::max(0, contentsRect().width() - 2 * margin() - 4);
    setText(fontMetrics().elidedText(FFull, Qt::ElideLeft, room));
}

TFilePanel::TFilePanel(QWidget *parent) : QGroupBox(parent)
{
    setObjectName(QStringLiteral("FilePanel"));
    setTitle(Q(Msg("TMainForm.FilePanel.Caption")));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(4);
    static const char *const captions[4] = {"Video:", "Audio:", "Double:", "Reference:"};
    static const char *const names[4] = {"Video", "Audio", "Double", "Ref"};
    for (int role = 0; role < 4; ++role) {
        auto *caption = new QLabel(QLatin1String(captions[role]), this);
        caption->setObjectName(QStringLiteral("%1Label").arg(QLatin1String(names[role])));
        FNames[role] = new TElidedLabel(this);
        FNames[role]->setObjectName(QStringLiteral("%1Name").arg(QLatin1String(names[role])));
        FOpen[role] = new QToolButton(this);
        FOpen[role]->setObjectName(QStringLiteral("Open%1Btn").arg(QLatin1String(names[role])));
        FOpen[role]->setText(QStringLiteral("..."));
        grid->addWidget(caption, role, 0);
        grid->addWidget(FNames[role], role, 1);
        grid->addWidget(FOpen[role], role, 2);
        const TSourceRole r = static_cast<TSourceRole>(role);
        connect(FOpen[role], &QToolButton::clicked, this, [this, r] { emit OpenRequested(r); });
        connect(FNames[role], &TElidedLabel::DoubleClicked, this, [this, r] { emit OpenRequested(r); });
    }
    FRemoveDouble = new QToolButton(this);
    FRemoveDouble->setObjectName(QStringLiteral("RemoveDoubleBtn"));
    FRemoveDouble->setText(QStringLiteral("X"));
    FRemoveRef = new QToolButton(this);
    FRemoveRef->setObjectName(QStringLiteral("RemoveRefBtn"));
    FRemoveRef->setText(QStringLiteral("X"));
    grid->addWidget(FRemoveDouble, srDouble, 3);
    grid->addWidget(FRemoveRef, srReference, 3);
    grid->setColumnStretch(1, 1);
}

void TFilePanel::SetName(TSourceRole role, const QString &name)
{
    FNames[role]->SetFullText(name);
}

} // namespace tessaly::gui
