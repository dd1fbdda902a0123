// TQtDialogs: the Qt implementation of the window's questions: message boxes, file
// dialogs, number questions and the phantom clip dialog, each modal over the main window.
#pragma once

#include <QStringList>

#include <memory>

#include "gui/window_dialogs.h"

class QFileDialog;
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

// The file dialog ChooseFile runs for `request` (Qt's own widgets, not the desktop's):
// its filter entries (returned in `filters`, in the request's order), the preselected
// one, and for a save the extension a typed name gets, which follows the type chosen.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget *parent, const TFileRequest &request, QStringList &filters);
// The answer of an accepted file dialog: its first selected file (a typed name with the
// type's extension) and the index of the chosen filter entry; false without a file.
bool FileDialogAnswer(const QFileDialog &dialog, const QStringList &filters, TFileAnswer &answer);

// The Qt name filter of one filter entry: its label and its patterns separated by blanks.
QString QtNameFilter(const TChooseFilter &filter);

} // namespace tessaly::gui
