// TQtDialogs: the Qt implementation of the window's questions: message boxes, file
// dialogs, number questions and the phantom clip dialog, each modal over the main window.
#pragma once

#include "gui/window_dialogs.h"

class QString;
class QWidget;

namespace tessaly::gui {

class TQtDialogs : public TWindowDialogs {
public:
    // parent: the window the dialogs stand over (not owned, may be null).
    explicit TQtDialogs(QWidget *parent = nullptr) : FParent(parent) {}
    void SetParent(QWidget *parent) { FParent = parent; }

    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override;
    TSegmentAnswer AskSegments(const std::string &caption, const std::vector<std::string> &files,
                               int helpContext) override;
    bool ChooseFile(const TFileRequest &request, TFileAnswer &answer) override;
    bool AskText(const std::string &caption, const std::string &prompt, std::string &value) override;
    int AskAudioStream(const std::string &question, const std::vector<std::string> &streams) override;
    bool AskPhantomClip(TPhantomValues &values) override;

private:
    QWidget *FParent;
};

// The Qt name filter of one filter entry: its label and its patterns separated by blanks.
QString QtNameFilter(const TChooseFilter &filter);

} // namespace tessaly::gui
