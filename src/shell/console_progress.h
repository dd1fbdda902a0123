// TConsoleProgress: the progress display of the command-line front-end (a redrawn bar
// on a terminal, plain lines otherwise). For front-ends only: the core reports through
// TProgress and never writes to a terminal itself.
#pragma once

#include "shell/progress.h"

#include <cstdio>
#include <string>

namespace tessaly {

enum TConsoleMode {
    cmAuto,       // a bar when the output is a terminal, else plain lines
    cmTerminal,   // always the redrawn bar
    cmPlain,      // always plain lines
};

class TConsoleProgress : public TProgress {
public:
    // Writes to `out` (not owned; stderr by default). `width` is the line width of the
    // bar form; 0 asks the terminal (80 when it cannot tell).
    explicit TConsoleProgress(std::FILE *out = stderr, TConsoleMode mode = cmAuto, int width = 0);
    ~TConsoleProgress() override;

    void Show() override;
    void Close() override;
    void SetCaption(const std::string &text) override;
    void SetComment(const std::string &text) override;
    void SetCancelText(const std::string &text) override;
    void SetProgress(double fraction) override;
    // True once SetAborted(true) was called or an interrupt was requested since Show.
    bool Aborted() override;
    void SetAborted(bool aborted) override;

    int Percent() const { return FPercent; }
    bool Terminal() const { return FTerminal; }

    // Installs a SIGINT handler that requests an abort of the running operation; a
    // second interrupt ends the program as usual. Safe to call more than once.
    static void InstallInterruptHandler();
    // Requests an abort (async-signal-safe; what the handler calls).
    static void RequestAbort();

private:
    void Redraw();
    void Line(const std::string &text);

    std::FILE *FOut;
    bool FTerminal;
    int FWidth;
    bool FShown = false;
    bool FLinePending = false;   // the bar line is on screen without its line end
    bool FAborted = false;
    int FPercent = 0;
    int FLastPlainStep = -1;
    bool FProgressDrawn = false;
    std::string FCaption, FComment, FCancelText;
};

} // namespace tessaly
