// The optimisation window: the core's view of the deactivated markers, drawn.
#include "gui/optimization_form.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "project/project_session.h"
#include "project/window_texts.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly::gui {

namespace {

QString Q(const std::string &text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

} // namespace

TOptimizationForm::TOptimizationForm(TProjectSession &session, QWidget *parent)
    : QWidget(parent, Qt::Tool), FSession(session)
{
    setObjectName("TOptimizationForm");
    setWindowTitle(Q(Msg("CapOptimization")));
    auto *title = new QLabel(Q(Msg("CapDeactivated")), this);
    title->setObjectName("DeactivatedLabel");
    FCount = new QLabel(this);
    FCount->setObjectName("CountLabel");
    auto *deviation = new QLabel(Q(Msg("CapMaxDeviation")), this);
    deviation->setObjectName("MaxDeviationLabel");
    FDeviation = new QLabel(this);
    FDeviation->setObjectName("DeviationPanel");
    FDeviation->setAutoFillBackground(true);
    FDeviation->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FDeviation->setMinimumWidth(70);
    auto *atFrame = new QLabel(Q(Msg("CapAtFrame")), this);
    atFrame->setObjectName("AtFrameLabel");
    FFrame = new QPushButton(this);
    FFrame->setObjectName("FrameBtn");
    FRemove = new QPushButton(Q(Msg("CapRemoveDeact")), this);
    FRemove->setObjectName("RemoveBtn");

    auto *grid = new QGridLayout(this);
    grid->addWidget(title, 0, 0);
    grid->addWidget(FCount, 0, 1);
    grid->addWidget(deviation, 1, 0);
    grid->addWidget(FDeviation, 1, 1);
    grid->addWidget(atFrame, 2, 0);
    grid->addWidget(FFrame, 2, 1);
    grid->addWidget(FRemove, 3, 0, 1, 2);

    connect(FFrame, &QPushButton::clicked, this, [this] {
        if (FTarget >= 0)
            emit GoToFrame(FTarget);
    });
    connect(FRemove, &QPushButton::clicked, this, &TOptimizationForm::AskRemove);
    FSession.Project().AddObserver(this);
    Refresh();
}

TOptimizationForm::~TOptimizationForm() { FSession.Project().RemoveObserver(this); }

QColor TOptimizationForm::DeviationColour(int colourClass)
{
    switch (colourClass) {
    case dcGreen: return QColor(0, 200, 0);
    case dcYellow: return QColor(255, 255, 0);
    case dcRed: return QColor(255, 0, 0);
    default: return QColor();
    }
}

void TOptimizationForm::Refresh()
{
    const TOptimizationView view = OptimizationViewOf(FSession.Project().DeactivatedStats());
    FCount->setText(Q(view.CountText));
    FFrame->setText(Q(view.FrameText));
    FDeviation->setText(Q(view.DeviationText));
    QPalette palette = FDeviation->palette();
    const QColor colour = DeviationColour(view.Colour);
    palette.setColor(QPalette::Window, colour.isValid() ? colour : palette.color(QPalette::Window));
    if (!colour.isValid())
        palette = QPalette();   // the window colour
    FDeviation->setPalette(palette);
    FFrame->setEnabled(view.ButtonsEnabled);
    FRemove->setEnabled(view.ButtonsEnabled);
    FTarget = view.Frame;
}

void TOptimizationForm::ProjectChanged(unsigned changes)
{
    if (changes & (pcMarkers | pcMedia))
        Refresh();
}

void TOptimizationForm::AskRemove()
{
    TUserInterface *ui = FSession.UserInterface();
    if (ui && ui->Message(mtConfirmation, Msg("MsgRmDeact"), mbYes | mbCancel) == mrYes)
        emit RemoveConfirmed();
}

} // namespace tessaly::gui
