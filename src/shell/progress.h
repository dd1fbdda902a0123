// The progress interface that long runs (rendering, pre-scan, preview, analysis)
// report through and poll for an abort; the GUI shows a window, tessaly-cli a bar.
#pragma once

#include <string>

namespace tessaly {

class TProgress {
public:
    virtual ~TProgress() = default;
    // Shows the progress display (abort flag cleared, bar at 0); Close hides it.
    virtual void Show() = 0;
    virtual void Close() = 0;
    // Texts arrive translated; each is shown at once.
    virtual void SetCaption(const std::string &text) = 0;
    virtual void SetComment(const std::string &text) = 0;
    virtual void SetCancelText(const std::string &text) = 0;
    // Fraction done: below 0 or NaN counts as 0, above 1 as 1.
    virtual void SetProgress(double fraction) = 0;
    // Lets pending input through, then tells whether the user asked to abort.
    virtual bool Aborted() = 0;
    virtual void SetAborted(bool aborted) = 0;
};

// The whole percentage a progress display shows for `fraction`: below 0 or not a
// number counts as 0, above 1 as 1; round(fraction x 100) with halves to the even
// neighbour (0.125 shows 12, 0.375 shows 38).
int ProgressPercent(double fraction);

} // namespace tessaly
