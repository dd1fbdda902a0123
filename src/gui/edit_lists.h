// TEditLists: the "Editing" page with the marker list and the move-marker buttons, and
// the "Output" page with the chapter list (entries with check marks).
#pragma once

#include <QTabWidget>
#include <string>
#include <vector>

#include "project/enables.h"

class QListWidget;
class QPushButton;

namespace tessaly::gui {

class TEditLists : public QTabWidget {
    Q_OBJECT
public:
    explicit TEditLists(QWidget *parent = nullptr);

    // Fills a list only when its lines changed; keeps the row selected.
    void SetMarkerLines(const std::vector<std::string> &lines);
    // Chapter lines with their ticks.
    void SetChapterLines(const std::vector<std::string> &lines, const std::vector<bool> &ticks);
    // Selects a row (-1: none) without emitting the selection signals.
    void SelectMarker(int row);
    void SelectChapter(int row);
    TEditPage Page() const { return static_cast<TEditPage>(currentIndex()); }

    QListWidget *MarkerList;
    QListWidget *ChapterList;
    QPushButton *MoveBackButton, *MoveForwardButton;

signals:
    void MarkerChosen(int row);
    void ChapterChosen(int row);
    void ChapterTicked(int row, bool ticked);

private:
    bool FFilling = false;
};

} // namespace tessaly::gui
