// TSplineForm: painting the curve at the list's zoom and the first placement.
#include "gui/spline_form.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/language_apply.h"
#include "gui/window_placement.h"
#include "gui/curve_strip.h"
#include "gui/qt_text.h"
#include "shell/messages.h"
#include "project/curve_drawing.h"
#include "project/project.h"
#include "project/tool_window_rules.h"

namespace tessaly::gui {

// The paint area PbxSpline: paints the project's curve when asked.
class TSplineArea : public QWidget {
public:
    explicit TSplineArea(TSplineForm &form) : FForm(form)
    {
        setObjectName(QStringLiteral("PbxSpline"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(100, 40);
    }

    void Paint(QPainter &painter, QSize size) const
    {
        // The curve above, the frame axis below it.
        const int axis = painter.fontMetrics().height() + 6;
        const int curveHeight = std::max(1, size.height() - axis);
        TPainterCanvas canvas(painter);
        DrawCorrectionCurve(FForm.FProject, canvas, size.width(), curveHeight, 4, FForm.PaintZoom());
        painter.fillRect(0, curveHeight, size.width(), size.height() - curveHeight, palette().color(QPalette::Window));
        const TProject &project = FForm.FProject;
        if (!project.HasVideo())
            return;
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawLine(2, curveHeight, size.width() - 3, curveHeight);
        // About one label per 120 pixels, at frames of a round step.
        const int32_t first = CurveFrameAt(project.Position(), project.FrameCount(), FForm.PaintZoom(), 2, size.width());
        const int32_t last =
            CurveFrameAt(project.Position(), project.FrameCount(), FForm.PaintZoom(), size.width() - 3, size.width());
        const int64_t span = std::max<int64_t>(1, int64_t(last) - first);
        const int64_t wanted = std::max<int64_t>(1, span * 120 / std::max(1, size.width()));
        int64_t step = 1;
        while (step < wanted)
            step *= (QString::number(step).startsWith(QLatin1Char('2')) ? 5 : 2);
        for (int64_t f = (first + step - 1) / step * step; f <= last; f += step) {
            const int x = CurveColumnOf(project.Position(), project.FrameCount(), FForm.PaintZoom(), int32_t(f),
                                        size.width());
            painter.drawLine(x, curveHeight, x, curveHeight + 3);
            const QString label = QString::number(f);
            const int w = painter.fontMetrics().horizontalAdvance(label);
            painter.drawText(std::clamp(x - w / 2, 0, std::max(0, size.width() - w)),
                             curveHeight + 4 + painter.fontMetrics().ascent(), label);
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        Paint(painter, size());
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        const TProject &project = FForm.FProject;
        const int32_t frame =
            CurveFrameAt(project.Position(), project.FrameCount(), FForm.PaintZoom(), int(event->position().x()), width());
        if (event->button() == Qt::LeftButton && frame >= 0)
            emit FForm.FrameClicked(frame);
    }

private:
    TSplineForm &FForm;
};

TSplineForm::TSplineForm(const TProject &project, QWidget *parent) : QWidget(parent, Qt::Tool), FProject(project)
{
    setObjectName(QStringLiteral("TSplineForm"));
    setWindowTitle(Q(Msg("TSplineForm.Caption")));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto *bar = new QHBoxLayout;
    FZoomList = new QComboBox;
    FZoomList->setObjectName(QStringLiteral("CmbZoom"));
    FZoomList->setEditable(true);
    FZoomList->addItems({"100", "200", "300", "500", "1000", "2000"});
    FZoomList->setCurrentIndex(0);
    bar->addWidget(FZoomList);
    bar->addStretch(1);
    layout->addLayout(bar);
    FArea = new TSplineArea(*this);
    layout->addWidget(FArea, 1);
    connect(FZoomList, &QComboBox::currentTextChanged, this, &TSplineForm::Repaint);
}

int TSplineForm::PaintZoom() const
{
    return SplineZoom(S(FZoomList->currentText().trimmed()));
}

void TSplineForm::Repaint()
{
    if (isVisible())
        FArea->update();
}

QImage TSplineForm::Render() const
{
    QImage image(FArea->size(), QImage::Format_RGB32);
    QPainter painter(&image);
    static_cast<const TSplineArea *>(FArea)->Paint(painter, image.size());
    return image;
}

void TSplineForm::showEvent(QShowEvent *event)
{
    ApplyLanguage(*this);
    if (!FShownBefore) {
        FShownBefore = true;
        // Across the lower quarter of the main window, inside the screen: the window
        // itself, or the floating dock holding it (a docked curve stays where it is).
        QWidget *holder = window();
        const QRect work = AvailableArea(*this);
        const QWidget *main = holder->parentWidget() ? holder->parentWidget()->window() : nullptr;
        if (work.isValid() && main && holder != main) {
            const QRect r = ToQRect(SplineFirstRectBeside(ToWindowRect(main->frameGeometry()), ToWindowRect(work)));
            PlaceOnScreen(*holder, r);
            // A floating dock takes its own place as it shows: the place is given again after.
            if (holder != this)
                QTimer::singleShot(0, holder, [holder, r] { PlaceOnScreen(*holder, r); });
        }
    }
    QWidget::showEvent(event);
}

} // namespace tessaly::gui
