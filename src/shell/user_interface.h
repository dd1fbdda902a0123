// The questions and messages the core puts to the user, answered by a front-end:
// Qt message boxes in the GUI, the terminal and command-line flags in tessaly-cli.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

enum TMsgType { mtInformation, mtWarning, mtError, mtConfirmation };

// Buttons offered with a message; combine with |.
enum TMsgButton : unsigned { mbOK = 1, mbYes = 2, mbNo = 4, mbCancel = 8, mbAbort = 16, mbHelp = 32 };

enum TMsgResult { mrNone, mrOK, mrYes, mrNo, mrCancel, mrAbort };

// The answer to the question that lists numbered segment files.
enum TSegmentChoice {
    scAll,        // load every ticked file as one source
    scSelected,   // load only the selected file
    scCancel,     // abandon the open
};
struct TSegmentAnswer {
    TSegmentChoice Choice = scAll;
    std::vector<bool> Ticked;   // one per listed file (all ticked when left empty)
    int Selected = 0;           // index of the selected file
};

class TUserInterface {
public:
    virtual ~TUserInterface() = default;
    // Shows `text` (already translated) with the given buttons and returns the one
    // chosen; a front-end that cannot ask returns the safest answer (No, Cancel, OK).
    virtual TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) = 0;

    // Lists `files` (names without folder), all ticked, the first selected, and asks
    // which to load. helpContext 0: no help button. The default answer is "load all".
    virtual TSegmentAnswer AskSegments(const std::string &caption, const std::vector<std::string> &files,
                                       int helpContext)
    {
        (void)caption;
        (void)helpContext;
        TSegmentAnswer a;
        a.Ticked.assign(files.size(), true);
        return a;
    }

    // Lists the audio streams of a file (one line each, `streams`) under `question` and asks
    // which to use: the index into `streams`, or -1 to abandon the open. The default
    // answer is the first stream.
    virtual int AskAudioStream(const std::string &question, const std::vector<std::string> &streams)
    {
        (void)question;
        (void)streams;
        return 0;
    }

    // Shorthands for the common cases.
    void Error(const std::string &text) { Message(mtError, text, mbOK); }
    void Warning(const std::string &text) { Message(mtWarning, text, mbOK); }
    bool AskYesNo(const std::string &text) { return Message(mtConfirmation, text, mbYes | mbNo) == mrYes; }
};

} // namespace tessaly
