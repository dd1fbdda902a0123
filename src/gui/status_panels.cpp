// TStatusPanels: the status line's panels, wrapped into rows where one row is too narrow.
#include "gui/status_panels.h"

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>

namespace tessaly::gui {

namespace {

constexpr int kGap = 4;         // between two panels of a row
constexpr int kRowGap = 2;      // between two rows
constexpr int kNameLeast = 80;  // the project name's panel never starts narrower

} // namespace

TStatusPanels::TStatusPanels(int count, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatusPanels"));
    for (int i = 0; i < count; ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setFrameShape(QFrame::StyledPanel);
        // An empty panel (nothing changed) keeps a small place instead of vanishing.
        label->setMinimumWidth(i + 1 == count ? kNameLeast : 40);
        FPanels.push_back(label);
        FTexts.emplace_back();
        FNeeded.push_back(label->sizeHint().width());
    }
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TStatusPanels::SetText(int panel, const QString &text)
{
    if (panel < 0 || panel >= Count() || FTexts[size_t(panel)] == text)
        return;
    FTexts[size_t(panel)] = text;
    // Measured whole, as the label itself measures it (frame, indent, least width).
    QLabel &label = *FPanels[size_t(panel)];
    label.setText(text);
    label.setToolTip(QString());
    FNeeded[size_t(panel)] = label.sizeHint().width();
    Place();
}

QString TStatusPanels::Text(int panel) const
{
    return panel >= 0 && panel < Count() ? FTexts[size_t(panel)] : QString();
}

QLabel *TStatusPanels::Panel(int panel) const
{
    return panel >= 0 && panel < Count() ? FPanels[size_t(panel)] : nullptr;
}

int TStatusPanels::NeededWidth(int panel) const
{
    return FNeeded[size_t(panel)];
}

int TStatusPanels::RowHeight() const
{
    return FPanels.empty() ? 0 : FPanels.front()->sizeHint().height();
}

std::vector<QRect> TStatusPanels::Arrangement(int width) const
{
    std::vector<QRect> at;
    const int rowHeight = RowHeight();
    int x = 0, y = 0;
    for (int i = 0; i < Count(); ++i) {
        const bool last = i + 1 == Count();
        const int need = NeededWidth(i);
        // The name may be shortened, but not below its least width while a row has room.
        const int least = last ? std::min(need, std::max(kNameLeast, FPanels[size_t(i)]->minimumWidth())) : need;
        if (x > 0 && x + least > width) {
            x = 0;
            y += rowHeight + kRowGap;
        }
        const int w = last ? std::max(least, width - x) : need;
        at.emplace_back(x, y, std::min(w, std::max(width - x, 1)), rowHeight);
        x += w + kGap;
    }
    return at;
}

int TStatusPanels::RowsFor(int width) const
{
    const std::vector<QRect> at = Arrangement(width);
    return at.empty() ? 0 : at.back().top() / (RowHeight() + kRowGap) + 1;
}

QSize TStatusPanels::sizeHint() const
{
    int width = 0;
    for (int i = 0; i < Count(); ++i)
        width += NeededWidth(i) + (i > 0 ? kGap : 0);
    // The window gives the status bar the height it prefers: the rows at the width it
    // has now (one row before it is first laid out).
    return QSize(width, isVisible() ? heightForWidth(this->width()) : RowHeight());
}

QSize TStatusPanels::minimumSizeHint() const
{
    int widest = 0;
    for (int i = 0; i + 1 < Count(); ++i)
        widest = std::max(widest, NeededWidth(i));
    return QSize(std::max(widest, kNameLeast), RowHeight());
}

int TStatusPanels::heightForWidth(int width) const
{
    const int rows = std::max(1, RowsFor(width));
    return rows * RowHeight() + (rows - 1) * kRowGap;
}

void TStatusPanels::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Place();
}

void TStatusPanels::Place()
{
    // Another number of rows: the status bar and the window ask again for the height
    // (the window's layout keeps the status bar's height for a width until told).
    const int rows = RowsFor(width());
    if (rows != FRows) {
        FRows = rows;
        updateGeometry();
        if (parentWidget())
            parentWidget()->updateGeometry();
    }
    const std::vector<QRect> at = Arrangement(width());
    for (int i = 0; i < Count(); ++i) {
        QLabel &label = *FPanels[size_t(i)];
        label.setGeometry(at[size_t(i)]);
        const QString &text = FTexts[size_t(i)];
        if (NeededWidth(i) <= at[size_t(i)].width()) {
            label.setText(text);
            label.setToolTip(QString());
            continue;
        }
        // Too long for a whole row (a long project name): shortened, whole in the tip.
        // (The frame and indent come on top of the text; a pixel more for rounding.)
        const int extra = NeededWidth(i) - label.fontMetrics().horizontalAdvance(text) + 1;
        label.setText(label.fontMetrics().elidedText(text, Qt::ElideMiddle, at[size_t(i)].width() - extra));
        label.setToolTip(text);
    }
}

} // namespace tessaly::gui
