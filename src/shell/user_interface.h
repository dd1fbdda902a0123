// The questions and messages the core puts to the user, answered by a front-end:
// Qt message boxes in the GUI, the terminal and command-line flags in tessaly-cli.
#pragma once

#include <string>

namespace tessaly {

enum TMsgType { mtInformation, mtWarning, mtError, mtConfirmation };

// Buttons offered with a message; combine with |.
enum TMsgButton : unsigned { mbOK = 1, mbYes = 2, mbNo = 4, mbCancel = 8, mbAbort = 16, mbHelp = 32 };

enum TMsgResult { mrNone, mrOK, mrYes, mrNo, mrCancel, mrAbort };

class TUserInterface {
public:
    virtual ~TUserInterface() = default;
    // Shows `text` (already translated) with the given buttons and returns the one
    // chosen; a front-end that cannot ask returns the safest answer (No, Cancel, OK).
    virtual TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) = 0;

    // Shorthands for the common cases.
    void Error(const std::string &text) { Message(mtError, text, mbOK); }
    void Warning(const std::string &text) { Message(mtWarning, text, mbOK); }
    bool AskYesNo(const std::string &text) { return Message(mtConfirmation, text, mbYes | mbNo) == mrYes; }
};

} // namespace tessaly
