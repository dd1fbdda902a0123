// The Calculate command's result types, proposed and final names, and stored codec.
#include "project/result_choice.h"

#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly {

std::vector<TResultType> ResultTypes()
{
    return {
        {rcWave, Msg("CapWavFiles") + " (*.wav)", "*.wav"},
        {rcAvi, Msg("CapAviFiles") + " (*.avi)", "*.avi"},
        {rcMatroska, Msg("CapMkvFiles") + " (*.mkv *.mka)", "*.mkv;*.mka"},
        {rcMp4, Msg("CapMp4Files") + " (*.mp4 *.m4v)", "*.mp4;*.m4v"},
        {rcMov, Msg("CapMovFiles") + " (*.mov)", "*.mov"},
        {rcWebm, Msg("CapWebmFiles") + " (*.webm)", "*.webm"},
    };
}

int ResultTypeIndex(TResultContainer container)
{
    const std::vector<TResultType> types = ResultTypes();
    for (size_t i = 0; i < types.size(); ++i)
        if (types[i].Container == container)
            return int(i);
    return 0;
}

TResultProposal ProposeResult(const TProjectSession &session, const TSettings &settings)
{
    TResultProposal proposal;
    const std::vector<std::string> video = session.Files(srVideo);
    if (video.size() == 1) {
        const TResultContainer container = ResultContainerOfName(video.front());
        if (container != rcWave) {
            const std::string name = ChangeFileExt(ExtractFileName(video.front()), "");
            proposal.Path = ExtractFilePath(video.front()) + name + ".synced" + LowerAscii(ExtractFileExt(video.front()));
            proposal.Type = ResultTypeIndex(container);
            return proposal;
        }
    }
    std::string folder = settings.Folder(fkRes);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    const std::string project = session.Project().FileName();
    proposal.Path = folder + (project.empty() ? std::string() : ChangeFileExt(ExtractFileName(project), ""));
    const int stored = settings.ResFmt() - 1;
    proposal.Type = stored >= 0 && stored < int(ResultTypes().size()) ? stored : 0;
    return proposal;
}

std::string ResultFileName(const std::string &chosen, int type)
{
    const std::vector<TResultType> types = ResultTypes();
    const TResultContainer container = type >= 0 && type < int(types.size()) ? types[size_t(type)].Container : rcWave;
    if (container != rcWave && container != rcAvi && ResultContainerOfName(chosen) == container)
        return chosen;
    return ChangeFileExt(chosen, ResultContainerExtension(container));
}

bool ConfirmReplaceResult(TUserInterface *ui, const std::string &name)
{
    if (!FileExists(name))
        return true;
    if (!ui)
        return false;
    const std::string text = FormatText(
        Msg("WrnReplaceResult"), {name});
    return ui->Message(mtConfirmation, text, mbYes | mbNo) == mrYes;
}

TResultAudioCodec StoredAudioCodec(const TSettings &settings)
{
    TResultAudioCodec codec = acDefault;
    if (!ParseResultAudioCodec(settings.ReadString("Current", "ResAudioCodec", "default"), codec))
        codec = acDefault;
    return codec;
}

void StoreAudioCodec(TSettings &settings, TResultAudioCodec codec)
{
    settings.WriteString("Current", "ResAudioCodec", ResultAudioCodecName(codec));
}

} // namespace tessaly
