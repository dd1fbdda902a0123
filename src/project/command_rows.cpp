// The command table of the main window.
#include "project/command_rows.h"

namespace tessaly {

namespace {

using E = TEnables;

const char kFile[] = "FileMenu", kEdit[] = "EditMenu", kProject[] = "ProjectMenu", kPreview[] = "PreviewMenu",
           kView[] = "ViewMenu", kOptions[] = "OptionsMenu", kHelp[] = "HelpMenu", kKeys[] = "";

} // namespace

const char *const kMarkerListMenu = "MarkerListMenu";

const std::vector<TCommandRow> &CommandRows()
{
    static const std::vector<TCommandRow> rows = {
        {cmFileNew, "FileNewItem", kFile, "Ctrl+N", 0, &E::New},
        {cmFileOpen, "FileOpenItem", kFile, "F3;Ctrl+O", 0, &E::OpenProject},
        {cmFileSave, "FileSaveItem", kFile, "F2;Ctrl+S", 0, &E::Save},
        {cmFileSaveAs, "FileSaveAsItem", kFile, "Ctrl+Shift+S", 0, &E::SaveAs},
        {cmFileRevert, "FileRevertItem", kFile, "", 0, &E::Revert},
        {cmNone, "MenuFileRecent", kFile, "", cfSubMenu, nullptr},
        {cmFileOpenVideo, "FileOpenVideoItem", kFile, "", cfSeparator, &E::OpenMedia},
        {cmFileOpenAudio, "FileOpenAudioItem", kFile, "", 0, &E::OpenMedia},
        {cmFileOpenDouble, "FileOpenDoubleItem", kFile, "", 0, &E::OpenMedia},
        {cmFileOpenRef, "FileOpenRefItem", kFile, "", 0, &E::OpenMedia},
        {cmFilePhantom, "FilePhantomItem", kFile, "", 0, &E::OpenMedia},
        {cmFileProperties, "FilePropertiesItem", kFile, "", cfSeparator, &E::Always},
        {cmFileQuit, "FileQuitItem", kFile, "Alt+X;Ctrl+Q", cfSeparator, &E::Quit},
        {cmEditUndo, "EditUndoItem", kEdit, "Ctrl+Z", 0, &E::Undo},
        {cmEditRedo, "EditRedoItem", kEdit, "Ctrl+Shift+Z;Ctrl+Y", 0, &E::Redo},
        {cmProjectGoto, "ProjectGotoItem", kProject, "F5", 0, &E::Navigate},
        {cmProjectViewOffset, "ProjectViewOffsetItem", kProject, "Ctrl+F5", 0, &E::Navigate},
        {cmProjectAnalyze, "ProjectAnalyzeItem", kProject, "F6", cfSeparator, &E::Analyze},
        {cmProjectSuggest, "ProjectSuggestItem", kProject, "Ctrl+F6", 0, &E::SuggestMarkers},
        {cmProjectInsertChapters, "ProjectInsertChaptersItem", kProject, "", 0, &E::InsertChapters},
        {cmProjectStartOffset, "ProjectStartOffsetItem", kProject, "", 0, &E::ChangeStartOffset},
        {cmProjectCalc, "ProjectCalcItem", kProject, "F9", cfSeparator, &E::Calculate},
        {cmPreviewStart, "PreviewStartItem", kPreview, "Space", 0, &E::Preview},
        {cmPreviewAround, "PreviewAroundItem", kPreview, "", cfSeparator | cfCheck, &E::Preview},
        {cmPreviewFrom, "PreviewFromItem", kPreview, "", cfCheck, &E::Preview},
        {cmPreviewTo, "PreviewToItem", kPreview, "", cfCheck, &E::Preview},
        {cmPreviewMuteAudio, "PreviewMuteAudioItem", kPreview, "", cfSeparator | cfCheck, &E::MutePrimary},
        {cmPreviewMuteDouble, "PreviewMuteDoubleItem", kPreview, "", cfCheck, &E::MuteDouble},
        {cmPreviewPrescan, "PreviewPrescanItem", kPreview, "", cfSeparator | cfCheck, &E::Always},
        {cmNone, "MenuPreviewExtended", kPreview, "", cfSubMenu, nullptr},
        {cmPreviewOriginalSize, "PreviewOriginalSizeItem", "MenuPreviewExtended", "", cfCheck, &E::Always},
        {cmPreviewForceVfw, "PreviewForceVfwItem", "MenuPreviewExtended", "", cfCheck, &E::Always},
        {cmPreviewFlip, "PreviewFlipItem", "MenuPreviewExtended", "", cfCheck, &E::Always},
        {cmViewFileArea, "ViewFileAreaItem", kView, "", cfCheck, &E::Always},
        {cmViewStatusBar, "ViewStatusBarItem", kView, "", cfCheck, &E::Always},
        {cmNone, "MenuViewMarkerSize", kView, "", cfSubMenu, nullptr},
        {cmViewMarkerSize1, "ViewMarkerSize1Item", "MenuViewMarkerSize", "", cfCheck | cfRadio, &E::Always},
        {cmViewMarkerSize2, "ViewMarkerSize2Item", "MenuViewMarkerSize", "", cfCheck | cfRadio, &E::Always},
        {cmViewMarkerSize3, "ViewMarkerSize3Item", "MenuViewMarkerSize", "", cfCheck | cfRadio, &E::Always},
        {cmViewCurve, "ViewCurveItem", kView, "", cfSeparator, &E::Always},
        {cmViewTimeline, "ViewTimelineItem", kView, "", cfCheck, &E::Always},
        {cmViewOptimization, "ViewOptimizationItem", kView, "", 0, &E::Optimization},
        {cmViewReference, "ViewReferenceItem", kView, "", cfCheck, &E::ViewReference},
        {cmViewFit, "ViewFitItem", kView, "", cfSeparator | cfCheck, &E::Navigate},
        {cmNone, "MenuOptionsLanguage", kOptions, "", cfSubMenu, &E::Language},
        {cmOptionsGlobal, "OptionsGlobalItem", kOptions, "", cfSeparator, &E::GlobalSettings},
        {cmOptionsProject, "OptionsProjectItem", kOptions, "", 0, &E::ProjectSettings},
        {cmHelpContents, "HelpContentsItem", kHelp, "F1", 0, &E::Always},
        {cmHelpTutorial, "HelpTutorialItem", kHelp, "", 0, &E::Always},
        {cmHelpOnHelp, "HelpOnHelpItem", kHelp, "", 0, &E::Always},
        {cmHelpHints, "HelpHintsItem", kHelp, "", cfSeparator | cfCheck, &E::Always},
        {cmHelpAbout, "HelpAboutItem", kHelp, "", cfSeparator, &E::Always},
        {cmListViewOffset, "ListViewOffsetItem", kMarkerListMenu, "", 0, &E::CutPopup},
        {cmListJumpCutEnd, "ListJumpCutEndItem", kMarkerListMenu, "", 0, &E::CutPopup},
        // Keys of the window without a menu entry: stepping through the video, removing
        // the double track and the reference video (file panel buttons).
        {cmStepBack, "StepBackItem", kKeys, "Left", 0, &E::Navigate},
        {cmStepForward, "StepForwardItem", kKeys, "Right", 0, &E::Navigate},
        {cmSecondBack, "SecondBackItem", kKeys, "PgUp", 0, &E::Navigate},
        {cmSecondForward, "SecondForwardItem", kKeys, "PgDown", 0, &E::Navigate},
        {cmFirstFrame, "FirstFrameItem", kKeys, "Home", 0, &E::Navigate},
        {cmLastFrame, "LastFrameItem", kKeys, "End", 0, &E::Navigate},
        {cmPrevMarker, "PrevMarkerItem", kKeys, "Ctrl+Left", 0, &E::Navigate},
        {cmNextMarker, "NextMarkerItem", kKeys, "Ctrl+Right", 0, &E::Navigate},
        {cmPrevKeyFrame, "PrevKeyFrameItem", kKeys, "Ctrl+Shift+Left", 0, &E::Navigate},
        {cmNextKeyFrame, "NextKeyFrameItem", kKeys, "Ctrl+Shift+Right", 0, &E::Navigate},
        {cmRemoveDouble, "RemoveDoubleItem", kKeys, "", 0, &E::RemoveDouble},
        {cmRemoveRef, "RemoveRefItem", kKeys, "", 0, &E::RemoveReference},
    };
    return rows;
}

const TCommandRow *CommandRow(TCommandId id)
{
    static const std::vector<const TCommandRow *> byId = [] {
        std::vector<const TCommandRow *> index(cmCount, nullptr);
        for (const TCommandRow &row : CommandRows())
            if (row.Id != cmNone)
                index[size_t(row.Id)] = &row;
        return index;
    }();
    return id >= 0 && id < cmCount ? byId[size_t(id)] : nullptr;
}

const std::vector<const char *> &MenuBarNames()
{
    static const std::vector<const char *> names = {kFile, kEdit, kProject, kPreview, kView, kOptions, kHelp};
    return names;
}

std::string CommandTextKey(const std::string &name)
{
    return "TMainForm." + name + ".Caption";
}

std::vector<std::string> CommandShortcuts(const TCommandRow &row)
{
    std::vector<std::string> keys;
    std::string key;
    for (const char *c = row.Shortcuts;; ++c) {
        if (*c == ';' || *c == '\0') {
            if (!key.empty())
                keys.push_back(key);
            key.clear();
            if (*c == '\0')
                break;
        } else {
            key += *c;
        }
    }
    return keys;
}

} // namespace tessaly
