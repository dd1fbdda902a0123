// TSplineForm: painting the curve at the list's zoom and the first placement.
#include "gui/spline_form.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "gui/language_apply.h"
#include "gui/curve_strip.h"
#include "gui/qt_text.h"
#include "project/curve_drawing.h"
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
        TPainterCanvas canvas(painter);
        DrawCorrectionCurve(FForm.FProject, canvas, size.width(), size.height(), 4, FForm.PaintZoom());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        Paint(painter, size());
    }

private:
    TSplineForm &FForm;
};

TSplineForm::TSplineForm(TProject &project, QWidget *parent) : QWidget(parent, Qt::Tool), FProject(project)
{
    setObjectName(QStringLiteral("TSplineForm"));
    setWindowTitle(QStringLiteral("Correction curve"));
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
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect work = screen ? screen->availableGeometry() : QRect();
        if (work.isValid()) {
            const TWindowRect r = SplineFirstRect({work.left(), work.top(), work.width(), work.height()});
            // The rectangle is the window with its frame.
            const QSize border = frameGeometry().size() - size();
            move(r.Left, r.Top);
            resize(std::max(1, r.Width - border.width()), std::max(1, r.Height - border.height()));
        }
    }
    QWidget::showEvent(event);
}

} // namespace tessaly::gui
