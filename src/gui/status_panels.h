// TStatusPanels: the status line's panels (frame, shift, double shift, tracks, double
// volume, chapter, changed, project name) in rows that wrap where the window is too
// narrow for one, so every panel shows its whole text at any width and scale factor.
#pragma once

#include <QWidget>

#include <vector>

class QLabel;

namespace tessaly::gui {

class TStatusPanels : public QWidget {
    Q_OBJECT
public:
    // `count` framed panels, named StatusPanel0 .. StatusPanel<count-1>. The last one (the
    // project name) takes what is left of its row; a name longer than a whole row is
    // shortened in the middle and shown whole in its tool tip.
    explicit TStatusPanels(int count, QWidget *parent = nullptr);

    void SetText(int panel, const QString &text);
    QString Text(int panel) const;
    QLabel *Panel(int panel) const;
    int Count() const { return int(FPanels.size()); }
    // The rows the panels need at `width` pixels.
    int RowsFor(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The height of the rows at `width`.
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The width a panel needs for its whole text (and at least its least width).
    int NeededWidth(int panel) const;
    int RowHeight() const;
    // Where each panel goes within `width` (rows from the top, left to right).
    std::vector<QRect> Arrangement(int width) const;
    // Puts the panels where the arrangement says, shortening what cannot fit.
    void Place();

    std::vector<QLabel *> FPanels;
    std::vector<QString> FTexts;
    std::vector<int> FNeeded;   // the width of each panel with its whole text
    int FRows = 0;   // the rows the panels were last placed in
};

} // namespace tessaly::gui
