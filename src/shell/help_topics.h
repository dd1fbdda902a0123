// Help topics: the numbers that the windows' help buttons and the help menu use, and
// the page of the HTML manual shipped beside the program that answers each.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tessaly {

enum THelpTopic : int32_t {
    htContents = 1,
    htMainWindow = 1000,
    htProperties = 2000,        // the Properties window
    htSettings = 3000,          // the Settings window
    htProjectSettings = 3100,
    htMarkers = 4000,
    htStartOffset = 4100,
    htPreview = 5000,
    htChapters = 6000,
    htResult = 6100,            // calculating the result
    htAnalysis = 6200,
    htOptimization = 6300,
    htReference = 7000,         // the reference window
    htCurveWindow = 7100,       // the correction curve window
    htCommandLine = 8000,
    htSegments = 9000,          // the numbered file segments dialog
    htPhantom = 9100,
    htTutorials = 10000,        // "Tutorial projects ..."
    htHelpOnHelp = 11000,
};

// A page of the manual: the file inside the help folder and a section anchor ("" for
// the top of the page).
struct THelpPage {
    int32_t Topic;
    const char *File;
    const char *Anchor;
};

// Every topic with its page.
std::span<const THelpPage> HelpTopicTable();
// The page of `topic`; an unknown topic gives the contents page.
THelpPage HelpPageOf(int32_t topic);
// The folder of the manual: "help/" beside the program, with a trailing "/".
std::string HelpFolder();
// The full file name of the topic's page (without the anchor).
std::string HelpFileOf(int32_t topic);
// A "file://" URL of the topic's page with its anchor, the path percent-encoded (bytes
// other than letters, digits, "-._~/" become %XX), ready for a browser.
std::string HelpUrlOf(int32_t topic);

} // namespace tessaly
