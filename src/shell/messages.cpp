// The message-key table and the message helpers.
#include "shell/messages.h"

#include "shell/language.h"

namespace tessaly {

const std::vector<TMessageText> &MessageTexts() {
    static const std::vector<TMessageText> texts = {
        {"CapAbort", "&Abort"},
        {"CapRange", "Range [%ss]"},
        {"CapSegments", "Numbered files were found. Load the ticked files as one source?"},
        {"CapAudioStream", "The file \"%s\" holds several audio streams. Which one shall be used?"},
        {"CapDlgOpenPrj", "Open project"},
        {"CapDlgSavePrj", "Save project"},
        {"CapDlgSavePrjAs", "Save project as"},
        {"CapDlgStartOfs", "Change start offset"},
        {"CapDlgStartOfsPrm", "Move every marker and chapter by (frames):"},
        {"CapDlgTempDir", "Select temporary folder"},
        {"CapFltAll", "All supported media files"},
        {"CapFltAllFiles", "All Files"},
        {"CapFltAvi", "AVI files"},
        {"CapFltAviFfmpeg", "AVI files read by FFmpeg"},
        {"CapFltAvs", "AviSynth scripts"},
        {"CapFltDirect", "DirectShow media"},
        {"CapFltFfmpegAudio", "Audio and video files through FFmpeg"},
        {"CapFltImages", "Images"},
        {"CapFltMatroska", "Matroska and WebM videos"},
        {"CapFltMp4", "MP4 and QuickTime videos"},
        {"CapFltMpeg", "MPEG transport and program streams"},
        {"CapFltOtherVideo", "Other videos (FLV, WMV, Ogg, DV, MXF ...)"},
        {"CapFltSmart", "Smart-renderable media files"},
        {"CapFltWavAvi", "WAV and AVI files"},
        {"CapFltWavAviVfw", "WAV and AVI files in VfW mode"},
        {"WrdSrcAudio", "%s audio"},
        {"WrdSrcNone", "No file"},
        {"WrdSrcPhantom", "Phantom video clip"},
        {"WrdSrcPictures", "Picture list"},
        {"WrdSrcPlugin", "VFAPI \"%s\""},
        {"WrdSrcStill", "Still image"},
        {"WrdSrcUnknown", "Unknown file type"},
        {"WrdSrcVideo", "%s video"},
        {"WrdEdtAddChapter", "Add chapter"},
        {"WrdEdtAffect", "Toggle Affect"},
        {"WrdEdtConcat", "Concatenate chapters"},
        {"WrdEdtDelChapter", "Delete chapter"},
        {"WrdEdtDeleteMarker", "Delete marker"},
        {"WrdEdtEnable", "Enable or disable marker"},
        {"WrdEdtInsChapters", "Insert chapters"},
        {"WrdEdtMove", "Move marker"},
        {"WrdEdtNewCut", "Add cut"},
        {"WrdEdtNewDShift", "Add double shift"},
        {"WrdEdtNewMarker", "Add marker"},
        {"WrdEdtNewOption", "Add option marker"},
        {"WrdEdtNewSpline", "Add spline point"},
        {"WrdEdtNone", "Edit"},
        {"WrdEdtOption", "Change option marker"},
        {"WrdEdtPrjOptions", "Project settings"},
        {"WrdEdtRedo", "&Redo %s"},
        {"WrdEdtRemoveDeact", "Remove deactivated markers"},
        {"WrdEdtShift", "Change shift"},
        {"WrdEdtStartOfs", "Change start offset"},
        {"WrdEdtSuggest", "Suggest markers"},
        {"WrdEdtTickChapter", "Tick chapter"},
        {"WrdEdtUndo", "&Undo %s"},
        {"WrdEdtUseChapters", "Subdivide into chapters"},
        {"ErrFileSize", "The output file size exceeds 2 GB."},
        {"ErrFrameOutside", "Frame %d lies outside the video (%d frames)."},
        {"ErrGotoFrame", "Please enter a frame number from 0 to %d."},
        {"ErrAudioCodec", "Unknown audio codec \"%s\"."},
        {"ErrInternal", "Internal error occured."},
        {"ErrInterval", "The chapter interval must be at least 100 frames."},
        {"ErrInvalidFrame", "Frame %d invalid!"},
        {"ErrLoadPrj", "The following items could not be loaded completely:"},
        {"ErrMarkerExists", "Frame %d already holds a marker."},
        {"ErrMarkerKind", "This marker has no such setting."},
        {"ErrMarkerWide", "The marker cannot be stored: its value does not fit the marker line."},
        {"ErrMoveMarker", "The marker cannot be moved onto or past another marker, nor out of the video."},
        {"ErrNoAudio", "No audio tracks defined!"},
        {"ErrNoChapters", "Every chapter of the result is disabled: there is nothing to write."},
        {"ErrNoChapterAt", "There is no chapter at frame %d."},
        {"ErrNoMarkerAt", "There is no marker at frame %d."},
        {"ErrNoProject", "The project file \"%s\" does not exist."},
        {"ErrNoSelection", "No marker is selected."},
        {"ErrNoVideo", "No video file is open."},
        {"ErrOfs", "This would move some markers and/or chapters outside of the project."},
        {"ErrOpenAud", "Error opening audio file:\r\n\"%s\""},
        {"ErrOpenDbl", "Error opening double audio file:\r\n\"%s\""},
        {"ErrOpenDum", "Error creating phantom clip."},
        {"ErrOpenRef", "Error opening reference video file:\r\n\"%s\""},
        {"ErrOpenVid", "Error opening video file:\r\n\"%s\""},
        {"ErrOpenFolder", "The folder \"%s\" could not be opened."},
        {"ErrOvwSrc", "The file \"%s\"\r\nis a source file of this project and cannot be overwritten.\r\n"
                      "Choose another file name for the result file."},
        {"ErrPrjNotFile", "The project file \"%s\" cannot be read:"},
        {"ErrPrjCut", "The project file \"%s\" is incomplete (cut short?). Missing:"},
        {"ErrPrjOption", "A project setting is out of range."},
        {"ErrShiftValue", "The shift must be a number of frames from -9999999 to 9999999 with at most three decimals."},
        {"ErrStartOffset", "Please enter a whole number of frames from -2147483647 to 2147483647."},
        {"ErrStartChapter", "The start chapter cannot be deleted."},
        {"ErrResultLeftOut", "Left-out chapters inside one file can only be written as AVI or WAV results."},
        {"ErrResultFrames", "The video file holds %d frames, the project %d."},
        {"ErrResultSegments", "A video of several segment files can only be written as an AVI or WAV result."},
        {"ErrResultSource", "The video cannot be copied into the result:\r\n%s"},
        {"ErrTarget", "Error opening target file!"},
        {"ErrWavSampleBits", "%d-bit samples are not supported (8, 16, 24 or 32 bits)"},
        {"ErrWavFloatBits", "%d-bit floating-point samples are not supported (32 or 64 bits)"},
        {"ErrWavChannels", "%d channels are not supported (1 to %d)"},
        {"ErrWavSampleRate", "the sample rate is 0"},
        {"ErrWavBlockAlign", "block align %d does not match %d channels of %d bits (%d bytes)"},
        {"ErrWavDataChunks", "the file holds %d 'data' chunks, so which one is the sound is unclear"},
        {"ErrIndexEntries", "an index claims %d entries, but its chunk holds room for %d"},
        {"ErrStreamReason", "stream %d: %s"},
        {"MsgOpenPart", "Open what could be read?"},
        {"WrdLegCut", "cut"},
        {"WrdLegDShift", "double shift"},
        {"WrdLegShift", "shift"},
        {"WrdLegSpline", "spline point"},
        {"WrdLegTrend", "without trend"},
        {"WrdLineEnd", "the end of its last line"},
        {"ErrViewOffset", "Please enter a whole number from -1073741823 to 1073741823."},
        {"ErrVolume", "The volume must be a whole number from 0 to 999, or empty for no change."},
        {"MsgAnalyze", "Analyze project ..."},
        {"MsgAudioCodec", "Codec of the new audio track (default, pcm, flac, alac, aac, opus, ac3, eac3):"},
        {"MsgCalcAud", "Calculating audio track ..."},
        {"MsgCalcVid", "Calculating video file ..."},
        {"MsgCalcDone", "The result is written:%s\r\n\r\nOpen the folder that holds it?"},
        {"MsgClrPrj", "Do you want to reset the project (recommended) ?"},
        {"MsgGotoFrm", "Go to frame"},
        {"MsgGotoPrm", "Enter the number of the destination frame:"},
        {"MsgHitEsc", "Press <ESC> to abort ..."},
        {"MsgOfsFrm", "Set view offset"},
        {"MsgOfsPrmt", "Enter the new view offset:"},
        {"MsgPrescan", "Performing prescan ..."},
        {"MsgReadIndex", "Reading the video's frames ..."},
        {"MsgPreview", "Create preview ..."},
        {"MsgRevert", "Do you really want revert to the\r\nlast saved version of %s ?"},
        {"MsgRmDeact", "Remove all deactivated markers?"},
        {"MsgSaveChg", "Save changes ?"},
        {"MsgSkipChp", "Skipping chapter %d ..."},
        {"MsgWriting", "Writing file %s ..."},
        {"OpenAudDlg.Title", "Open audio file"},
        {"OpenDblDlg.Title", "Open double audio file"},
        {"OpenRefDlg.Title", "Open reference video"},
        {"OpenVidDlg.Title", "Open video file"},
        {"WrdBit", "bit"},
        {"WrdChanged", "Changed"},
        {"WrdChannels", "channels"},
        {"WrdChapter", "Chapter"},
        {"WrdChptLst", "Chapter list"},
        {"WrdDShift", "DShift"},
        {"WrdDblVol", "Double"},
        {"WrdDeact", "deactivated"},
        {"WrdDefault", "default"},
        {"WrdFPS", "fps"},
        {"WrdFit", "Fit"},
        {"WrdFrame", "Frame"},
        {"WrdHertz", "Hz"},
        {"WrdHour", "h"},
        {"WrdMarkLst", "Marker list"},
        {"WrdMin", "m"},
        {"WrdMono", "mono"},
        {"WrdNo", "no"},
        {"WrdNone", "(none)"},
        {"WrdPixels", "pixels"},
        {"WrdRsmpBand", "Band-limited (smooth drift)"},
        {"WrdRsmpCopy", "Sample copy (as before)"},
        {"WrdRsmpPitch", "Keep pitch (large speed changes)"},
        {"WrdSec", "s"},
        {"WrdShift", "Shift"},
        {"WrdStart", "Start"},
        {"WrdStereo", "stereo"},
        {"WrdTracks", "Tracks"},
        {"WrdUnknown", "unknown"},
        {"WrdUnnamed", "unnamed"},
        {"WrdYes", "yes"},
        {"WrnSRCalc", "Warning: The result video will reach a size\r\nof about %d GB and a data rate of %d MB/s."
                      "\r\n\r\nDo you still want to create the file?"},
        {"WrnReplaceResult", "The file \"%s\" already exists.\r\nDo you want to replace it?"},
        {"WrnSRLoad", "This video file does not support Smart Rendering.\r\nDo you still want to open the file?"},
        {"AnaHeadFrame", "Frame"},
        {"AnaHeadQuantity", "Quantity"},
        {"AnaHeadValue", "Value"},
        {"AnaMaxCurvature", "Maximum curvature"},
        {"AnaMaxCurve", "Maximum curve shift [frames]"},
        {"AnaMaxShift", "Maximum shift [frames]"},
        {"AnaMaxSpeed", "Maximum speed"},
        {"AnaMinCurve", "Minimum curve shift [frames]"},
        {"AnaMinShift", "Minimum shift [frames]"},
        {"AnaMinSpeed", "Minimum speed"},
        {"AnaSpeedRange", "Speed range"},
        {"ApplicationTitle", "Tessaly"},
        {"CapAllFiles", "All files"},
        {"CapAnalysis", "Project analysis"},
        {"CapAtFrame", "at frame:"},
        {"CapAudioCodec", "Audio codec"},
        {"CapAviFiles", "AVI files"},
        {"CapClearChapters", "&Clear chapter list before insert these chapters"},
        {"CapClose", "&Close"},
        {"CapDeactivated", "Deactivated markers:"},
        {"CapDlgSavePlot", "Save picture"},
        {"CapFixedLength", "&Fixed length (in frames):"},
        {"CapGoto", "&Go to"},
        {"CapInsChapters", "Insert chapters"},
        {"CapMaxDeviation", "Max. deviation:"},
        {"CapMkvFiles", "Matroska files"},
        {"CapMovFiles", "QuickTime files"},
        {"CapMp4Files", "MP4 files"},
        {"CapOptimization", "Optimization"},
        {"CapRemoveDeact", "Remove deactivated markers"},
        {"CapSaveAs", "Save file as"},
        {"CapSavePlot", "&Save picture ..."},
        {"CapSkipCutOut", "&Skip cut out parts without primary sound"},
        {"CapSuggest", "Suggest markers"},
        {"CapTimeline", "Timeline"},
        {"CapSuggestAgainst", "Recording in sync with the video"},
        {"CapSuggestAlign", "Aligning the tracks ..."},
        {"CapSuggestApply", "&Apply markers"},
        {"CapSuggestNote", "Apply replaces every spline point, relative cut and option marker of the project by these markers; double shifts stay. Undo takes it back."},
        {"CapSuggestRead", "Reading the tracks ..."},
        {"CapSvgFiles", "SVG pictures"},
        {"CapWavFiles", "Wave files"},
        {"CapWebmFiles", "WebM files"},
        {"ErrInvalidAudio", "Audio of frame %d invalid: the %s cannot be read at sample %s."},
        {"ErrSuggest", "No markers could be suggested:"},
        {"ErrSuggestFit", "The suggested markers leave the curve %s ms from the measurement at frame %s, more than the limit of %s ms; the suggestion is not usable."},
        {"ErrSuggestNoFrames", "The measurement covers no frame of the video; the suggestion is not usable."},
        {"ErrSuggestUnstored", "%s of the suggested markers cannot be stored in the project; the suggestion is not usable."},
        {"MsgNoMatch", "No match: the primary track and the %s do not share enough material (unrelated or too short to judge)."},
        {"MsgVerifyCoverage", "only %s %% of the sounding stretches match within tolerance, less than the required %s %%"},
        {"MsgVerifyNoProject", "(no project given: stretches the double track fills in are counted as matched when they sound like the recording)"},
        {"MsgVerifyNoSound", "no match: the result and the recording never sound together"},
        {"MsgVerifyOutside", "%s matched windows lie outside +-%s ms"},
        {"MsgVerifyPassed", "every matched window lies within +-%s ms, and they cover %s %% of the sounding stretches"},
        {"WrdDoubleTrack", "double track"},
        {"WrdPrimaryTrack", "primary track"},
        {"TMainForm.RemoveDoubleBtn.Hint", "Remove the double audio entry"},
        {"TMainForm.RemoveRefBtn.Hint", "Remove the reference video entry"},
        {"TMainForm.SplineBtn.Hint", "Marker for a smooth synchronisation without a cut"},
        {"TMainForm.RelCutBtn.Hint", "Cuts the audio track and sets a new shift"},
        {"TMainForm.DShiftBtn.Hint", "Cuts and shifts the double audio track"},
        {"TMainForm.OptionBtn.Hint", "Marker that switches the audio and the double audio track on or off"},
        {"TMainForm.EnableBox.Hint", "Switch the marker on or off for a while"},
        {"TMainForm.ShiftEdit.Hint", "Shift of the marker in frames (up to three decimals); Enter returns to the picture"},
        {"TMainForm.AffectBtn.Hint", "Pass a change of this value on to the following markers"},
        {"TMainForm.VolumeEdit.Hint", "Volume of the double audio track in percent; empty for no change"},
        {"TMainForm.DeleteMarkerBtn.Hint", "Delete the marker on this frame"},
        {"TMainForm.MoveBackBtn.Hint", "Move the marker one frame back"},
        {"TMainForm.MoveForwardBtn.Hint", "Move the marker one frame forward"},
        {"TMainForm.MarkerList.Hint", "Markers of the project; choose one to go to its frame"},
        {"TMainForm.ChapterList.Hint", "Chapters of the result; ticked chapters are calculated"},
        {"TMainForm.ZoomBox.Hint", "Zoom of the picture (Ctrl+wheel)"},
        {"TMainForm.FrameView.Hint", "Current frame: click, then arrows, Home and End step through the video; wheel: frames; Ctrl+wheel: zoom"},
        {"TMainForm.CurveStrip.Hint", "Correction curve; click to go to a frame"},
        {"TMainForm.PositionSlider.Hint", "Position in the video"},
        {"TMainForm.PreviewButton.Hint", "Preview (Space); right click: mode"},
        {"TMainForm.RangeEdit.Hint", "Preview range in seconds"},
        {"TMainForm.AudioStrip.Hint", "Audio track (shifted as in the result) and double audio track around the current position"},
        {"TMainForm.StatusPanel0.Hint", "Current frame (and view offset)"},
        {"TMainForm.StatusPanel1.Hint", "Shift of the audio track at this frame, in frames"},
        {"TMainForm.StatusPanel2.Hint", "Shift of the double audio track at this frame, in frames"},
        {"TMainForm.StatusPanel3.Hint", "Tracks heard at this frame: A audio, D double audio, - muted"},
        {"TMainForm.StatusPanel4.Hint", "Volume of the double audio track at this frame"},
        {"TMainForm.StatusPanel5.Hint", "Chapter of this frame"},
        {"TMainForm.StatusPanel6.Hint", "The project has changes that are not saved"},
        {"TMainForm.StatusPanel7.Hint", "Project file"},
        {"TOptionsDlg.BtnTempDir.Hint", "Choose the temporary folder"},
        {"TOptionsDlg.EdtFrameCache.Hint", "Decoded pictures kept so that stepping back needs no decoding (read when a video is opened)"},
        {"TRefForm.SBtFlip.Hint", "Flip the picture"},
        {"TRefForm.SBtFit.Hint", "Fit the window size to the picture size"},
        // The captions of the main window's commands and menus.
        {"TMainForm.FileNewItem.Caption", "&New"},
        {"TMainForm.FileOpenItem.Caption", "&Open project ..."},
        {"TMainForm.FileSaveItem.Caption", "&Save project"},
        {"TMainForm.FileSaveAsItem.Caption", "Save project &as ..."},
        {"TMainForm.FileRevertItem.Caption", "&Revert to saved ..."},
        {"TMainForm.MenuFileRecent.Caption", "Recent pro&jects"},
        {"TMainForm.FileOpenVideoItem.Caption", "Open &video file ..."},
        {"TMainForm.FileOpenAudioItem.Caption", "Open a&udio file ..."},
        {"TMainForm.FileOpenDoubleItem.Caption", "Open &double audio file ..."},
        {"TMainForm.FileOpenRefItem.Caption", "Open re&ference video ..."},
        {"TMainForm.FilePhantomItem.Caption", "&Create phantom video clip ..."},
        {"TMainForm.FilePropertiesItem.Caption", "&Properties ..."},
        {"TMainForm.FileQuitItem.Caption", "&Quit"},
        {"TMainForm.EditUndoItem.Caption", "&Undo"},
        {"TMainForm.EditRedoItem.Caption", "&Redo"},
        {"TMainForm.ProjectGotoItem.Caption", "&Go to frame ..."},
        {"TMainForm.ProjectViewOffsetItem.Caption", "Set &view offset ..."},
        {"TMainForm.ProjectAnalyzeItem.Caption", "&Analyze project ..."},
        {"TMainForm.ProjectSuggestItem.Caption", "S&uggest markers ..."},
        {"TMainForm.ProjectInsertChaptersItem.Caption", "Insert &chapters ..."},
        {"TMainForm.ProjectStartOffsetItem.Caption", "Change start &offset ..."},
        {"TMainForm.ProjectCalcItem.Caption", "&Start calculation ..."},
        {"TMainForm.PreviewStartItem.Caption", "&Start / Stop"},
        {"TMainForm.PreviewAroundItem.Caption", "&Around current position"},
        {"TMainForm.PreviewFromItem.Caption", "&From current position"},
        {"TMainForm.PreviewToItem.Caption", "&To current position"},
        {"TMainForm.PreviewMuteAudioItem.Caption", "Mute &Audio"},
        {"TMainForm.PreviewMuteDoubleItem.Caption", "Mute &Double audio"},
        {"TMainForm.PreviewPrescanItem.Caption", "Scan from &begin"},
        {"TMainForm.MenuPreviewExtended.Caption", "E&xtended"},
        {"TMainForm.PreviewOriginalSizeItem.Caption", "&Original size"},
        {"TMainForm.PreviewForceVfwItem.Caption", "Force &VfW-compatibility"},
        {"TMainForm.PreviewFlipItem.Caption", "&Flip image"},
        {"TMainForm.ViewFileAreaItem.Caption", "Source file &area"},
        {"TMainForm.ViewStatusBarItem.Caption", "&Status bar"},
        {"TMainForm.MenuViewMarkerSize.Caption", "&Marker size"},
        {"TMainForm.ViewMarkerSize1Item.Caption", "&Normal"},
        {"TMainForm.ViewMarkerSize2Item.Caption", "&Large"},
        {"TMainForm.ViewMarkerSize3Item.Caption", "&Extra large"},
        {"TMainForm.ViewCurveItem.Caption", "&Correction curve window"},
        {"TMainForm.ViewOptimizationItem.Caption", "&Optimization window"},
        {"TMainForm.ViewReferenceItem.Caption", "&Reference video"},
        {"TMainForm.ViewFitItem.Caption", "&Fit to window"},
        {"TMainForm.MenuOptionsLanguage.Caption", "&Language"},
        {"TMainForm.OptionsGlobalItem.Caption", "&Global settings ..."},
        {"TMainForm.OptionsProjectItem.Caption", "&Project settings ..."},
        {"TMainForm.HelpContentsItem.Caption", "Help &contents ..."},
        {"TMainForm.HelpTutorialItem.Caption", "Tutorial &projects ..."},
        {"TMainForm.HelpOnHelpItem.Caption", "Help &on Help ..."},
        {"TMainForm.HelpHintsItem.Caption", "Show &hints"},
        {"TMainForm.HelpAboutItem.Caption", "&About ..."},
        {"TMainForm.ListViewOffsetItem.Caption", "Set view &offset to cut value"},
        {"TMainForm.ListJumpCutEndItem.Caption", "&Jump to cut end"},
        {"TMainForm.StepBackItem.Caption", "Previous frame"},
        {"TMainForm.StepForwardItem.Caption", "Next frame"},
        {"TMainForm.SecondBackItem.Caption", "One second back"},
        {"TMainForm.SecondForwardItem.Caption", "One second forward"},
        {"TMainForm.FirstFrameItem.Caption", "First frame"},
        {"TMainForm.LastFrameItem.Caption", "Last frame"},
        {"TMainForm.PrevMarkerItem.Caption", "Previous marker"},
        {"TMainForm.NextMarkerItem.Caption", "Next marker"},
        {"TMainForm.PrevKeyFrameItem.Caption", "Previous key frame"},
        {"TMainForm.NextKeyFrameItem.Caption", "Next key frame"},
        {"TMainForm.RemoveDoubleItem.Caption", "Remove double audio entry"},
        {"TMainForm.RemoveRefItem.Caption", "Remove reference video entry"},
        {"TMainForm.FileMenu.Caption", "&File"},
        {"TMainForm.EditMenu.Caption", "&Edit"},
        {"TMainForm.ProjectMenu.Caption", "&Project"},
        {"TMainForm.PreviewMenu.Caption", "P&review"},
        {"TMainForm.ViewMenu.Caption", "&View"},
        {"TMainForm.OptionsMenu.Caption", "&Options"},
        {"TMainForm.HelpMenu.Caption", "&Help"},
        {"TMainForm.ViewTimelineItem.Caption", "&Timeline"},
    };
    return texts;
}

std::string DefaultText(std::string_view key) {
    for (const TMessageText &t : MessageTexts())
        if (key == t.key)
            return t.english;
    for (int code = 0; code < MediaErrorCount; ++code) {
        TMediaError e = static_cast<TMediaError>(code);
        if (key == MediaErrorIdent(e))
            return MediaErrorMessage(e);
    }
    return {};
}

std::string Msg(std::string_view key) {
    std::string k(key);
    return TranslateOr(k, DefaultText(k));
}

std::string MediaErrorMsg(TMediaError code) {
    if (static_cast<int>(code) >= MediaErrorCount)
        code = meUnknown;
    return TranslateOr(MediaErrorIdent(code), MediaErrorMessage(code));
}

std::string TranslatedErrorSentence(const std::string &lead, TMediaError code) {
    return TranslatedErrorSentence(lead, code, TMediaProblem{});
}

std::string MediaProblemText(const TMediaProblem &problem) {
    if (!problem.Known())
        return {};
    std::vector<std::string> values;
    for (int64_t v : problem.Values)
        values.push_back(std::to_string(v));
    std::string text = FormatText(Msg(MediaReasonKey(problem.Reason)), values);
    if (problem.Stream >= 0)
        text = FormatText(Msg("ErrStreamReason"), {std::to_string(problem.Stream), text});
    return text;
}

std::string TranslatedErrorSentence(const std::string &lead, TMediaError code, const TMediaProblem &problem) {
    if (code == meOk || static_cast<int>(code) >= MediaErrorCount)
        code = meUnknown;
    return MediaErrorSentence(
        lead, code, [](const std::string &key, const std::string &english) { return TranslateOr(key, english); },
        MediaProblemText(problem));
}

std::string SourceDescriptionText(const TSourceDescription &description) {
    return FormatText(Msg(description.Key), {description.Name});
}

std::vector<TChooseFilter> LabelChooseFilters(std::vector<TChooseFilter> filters) {
    for (TChooseFilter &f : filters)
        if (!f.LabelKey.empty())
            f.Label = Msg(f.LabelKey) + " (" + f.Patterns + ")";
    return filters;
}

std::string FormatText(const std::string &pattern, const std::vector<std::string> &args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char k = pattern[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd') {
                if (next < args.size())
                    out += args[next];
                ++next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

} // namespace tessaly
