// The commands of the main window as rows of one table: each row names the command, its
// menu, its keys, how it shows (tick, separator, sub-menu) and the enable flag of
// CheckEnables that allows it. The window makes its menus, its keys and its enables
// from these rows and attaches one handler per command; the caption of a row is the
// message text of CommandTextKey(name).
#pragma once

#include <string>
#include <vector>

#include "project/enables.h"

namespace tessaly {

enum TCommandId : int {
    cmNone = -1,   // a sub-menu row
    cmFileNew, cmFileOpen, cmFileSave, cmFileSaveAs, cmFileRevert, cmFileOpenVideo, cmFileOpenAudio,
    cmFileOpenDouble, cmFileOpenRef, cmFilePhantom, cmFileProperties, cmFileQuit,
    cmEditUndo, cmEditRedo,
    cmProjectGoto, cmProjectViewOffset, cmProjectAnalyze, cmProjectSuggest, cmProjectInsertChapters,
    cmProjectStartOffset, cmProjectCalc,
    cmPreviewStart, cmPreviewAround, cmPreviewFrom, cmPreviewTo, cmPreviewMuteAudio, cmPreviewMuteDouble,
    cmPreviewPrescan, cmPreviewOriginalSize, cmPreviewForceVfw, cmPreviewFlip,
    cmViewFileArea, cmViewStatusBar, cmViewMarkerSize1, cmViewMarkerSize2, cmViewMarkerSize3, cmViewCurve,
    cmViewTimeline, cmViewOptimization, cmViewReference, cmViewFit,
    cmOptionsGlobal, cmOptionsProject,
    cmHelpContents, cmHelpTutorial, cmHelpOnHelp, cmHelpHints, cmHelpAbout,
    cmListViewOffset, cmListJumpCutEnd,
    cmStepBack, cmStepForward, cmSecondBack, cmSecondForward, cmFirstFrame, cmLastFrame, cmPrevMarker,
    cmNextMarker, cmPrevKeyFrame, cmNextKeyFrame, cmRemoveDouble, cmRemoveRef,
    cmCount
};

enum TCommandFlag : unsigned {
    cfCheck = 1,       // a tick item
    cfSeparator = 2,   // a separator line before it (not at the top of a menu)
    cfRadio = 4,       // one of the marker sizes (one ticked at a time)
    cfSubMenu = 8,     // opens a sub-menu that the rows with its name as Menu fill
};

struct TCommandRow {
    TCommandId Id;            // cmNone for a sub-menu
    const char *Name;         // object name of the action or sub-menu; tests trigger by it
    const char *Menu;         // object name of the menu holding it; "" for a key without entry
    const char *Shortcuts;    // key sequences separated by ";", the first shown in the menu
    unsigned Flags;
    bool TEnables::*Enable;   // the flag that allows it; null: a sub-menu that is always open
};

// Every row in menu order; the rows of a command are in the order of TCommandId.
const std::vector<TCommandRow> &CommandRows();
// The row of a command (never null for cmFileNew .. cmCount - 1).
const TCommandRow *CommandRow(TCommandId id);
// The object names of the menu bar's menus in order, and of the marker list's pop-up.
const std::vector<const char *> &MenuBarNames();
extern const char *const kMarkerListMenu;
// The message key of a row's or a menu's caption: "TMainForm.<name>.Caption".
std::string CommandTextKey(const std::string &name);
// The key sequences of a row, in order.
std::vector<std::string> CommandShortcuts(const TCommandRow &row);

} // namespace tessaly
