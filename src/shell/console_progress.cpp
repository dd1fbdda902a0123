// TConsoleProgress: progress on a terminal or in a log, with Ctrl+C as the abort key.
#include "shell/console_progress.h"

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tessaly {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
    std::signal(SIGINT, SIG_DFL);   // a second Ctrl+C ends the program
}

// Menu captions carry accelerator marks; a line of text does not show them.
std::string WithoutAccelerators(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size() && s[i + 1] == '&')
            out += s[++i];
        else if (s[i] != '&')
            out += s[i];
    }
    return out;
}

// Line breaks in messages would tear the redrawn line apart.
std::string OneLine(const std::string &s) {
    std::string out;
    for (char c : s)
        out += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    return out;
}

// Cuts a UTF-8 text to at most `columns` characters.
std::string CutColumns(const std::string &s, int columns) {
    int count = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (count == columns)
                return s.substr(0, i);
            ++count;
        }
    }
    return s;
}

} // namespace

TConsoleProgress::TConsoleProgress(std::FILE *out, TConsoleMode mode, int width)
    : FOut(out ? out : stderr), FWidth(width) {
    FTerminal = mode == cmTerminal || (mode == cmAuto && isatty(fileno(FOut)));
    if (FWidth <= 0) {
        struct winsize ws {};
        FWidth = (FTerminal && ioctl(fileno(FOut), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) ? ws.ws_col : 80;
    }
}

TConsoleProgress::~TConsoleProgress() {
    if (FShown)
        Close();
}

void TConsoleProgress::InstallInterruptHandler() {
    gInterrupted = 0;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

void TConsoleProgress::RequestAbort() {
    gInterrupted = 1;
}

void TConsoleProgress::Show() {
    if (FShown)
        Close();
    FShown = true;
    FAborted = false;
    gInterrupted = 0;
    FPercent = 0;
    FLastPlainStep = -1;
    FProgressDrawn = false;
    FCaption.clear();
    FComment.clear();
    Redraw();
}

void TConsoleProgress::Close() {
    if (FLinePending) {
        std::fputc('\n', FOut);
        FLinePending = false;
    }
    std::fflush(FOut);
    FShown = false;
}

void TConsoleProgress::Line(const std::string &text) {
    std::fputs(text.c_str(), FOut);
    std::fputc('\n', FOut);
    std::fflush(FOut);
}

void TConsoleProgress::Redraw() {
    if (!FShown || !FTerminal)
        return;
    std::string label = WithoutAccelerators(OneLine(FCaption));
    std::string comment = OneLine(FComment);
    if (!comment.empty())
        label += label.empty() ? comment : " - " + comment;
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", FPercent);
    // "label [#####-----]  42%": the label is cut to what the line leaves.
    const int barWidth = 20;
    std::string bar(barWidth, '-');
    int filled = FPercent * barWidth / 100;
    for (int i = 0; i < filled; ++i)
        bar[static_cast<size_t>(i)] = '#';
    std::string tail = " [" + bar + "] " + pct;
    int room = FWidth - 1 - static_cast<int>(tail.size());
    label = CutColumns(label, room > 0 ? room : 0);
    std::fputs(("\r\033[K" + label + tail).c_str(), FOut);
    std::fflush(FOut);
    FLinePending = true;
}

void TConsoleProgress::SetCaption(const std::string &text) {
    if (text == FCaption)
        return;
    FCaption = text;
    if (FTerminal)
        Redraw();
    else if (FShown && !text.empty())
        Line(WithoutAccelerators(OneLine(text)));
}

void TConsoleProgress::SetComment(const std::string &text) {
    if (text == FComment)
        return;
    FComment = text;
    if (FTerminal)
        Redraw();
    else if (FShown && !text.empty())
        Line(OneLine(text));
}

void TConsoleProgress::SetCancelText(const std::string &text) {
    FCancelText = text;   // there is no button; Ctrl+C aborts
}

void TConsoleProgress::SetProgress(double fraction) {
    int percent = ProgressPercent(fraction);
    if (percent == FPercent && FProgressDrawn)
        return;   // redraw only when the shown percentage changes
    FPercent = percent;
    FProgressDrawn = FShown;
    if (FTerminal) {
        Redraw();
    } else if (FShown) {
        // Plain output: one line per tenth, so a log does not fill with numbers.
        int step = percent / 10;
        if (step != FLastPlainStep) {
            FLastPlainStep = step;
            char line[16];
            std::snprintf(line, sizeof line, "%d%%", step * 10);
            Line(line);
        }
    }
}

bool TConsoleProgress::Aborted() {
    if (gInterrupted)
        FAborted = true;
    return FAborted;
}

void TConsoleProgress::SetAborted(bool aborted) {
    FAborted = aborted;
    if (!aborted)
        gInterrupted = 0;
}

} // namespace tessaly
