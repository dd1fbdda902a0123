// The notice after Calculate and the desktop's folder view.
#include "gui/calculate_notice.h"

#include <QDesktopServices>
#include <QUrl>

#include "gui/qt_text.h"
#include "platform/file_system.h"
#include "shell/messages.h"

namespace tessaly::gui {

bool NoticeCalculateDone(const TCalculateRun &run, TWindowDialogs &dialogs,
                         const std::function<bool(const std::string &folder)> &openFolder)
{
    if (run.Outcome != coDone || run.Target.empty())
        return false;
    std::string files;
    for (const std::string &file : run.Files.empty() ? std::vector<std::string>{run.Target} : run.Files)
        files += "\n" + file;
    const std::string text = FormatText(Msg("MsgCalcDone"), {files});
    if (dialogs.Message(mtInformation, text, mbYes | mbNo) != mrYes)
        return false;
    const std::string folder = ExtractFilePath(run.Target);
    if (openFolder(folder.empty() ? std::string(".") : folder))
        return true;
    dialogs.Error(FormatText(Msg("ErrOpenFolder"), {folder}));
    return false;
}

bool OpenFolderOnDesktop(const std::string &folder)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
}

} // namespace tessaly::gui
