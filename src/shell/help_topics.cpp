// The table of help topics and the file names and URLs of their pages.
#include "shell/help_topics.h"

#include "platform/file_system.h"

#include <array>
#include <cstdio>

namespace tessaly {

namespace {

constexpr std::array<THelpPage, 19> kTopics{{
    {htContents, "index.html", ""},
    {htMainWindow, "main-window.html", ""},
    {htProperties, "properties.html", ""},
    {htSettings, "settings.html", ""},
    {htProjectSettings, "settings.html", "project-settings"},
    {htMarkers, "markers.html", ""},
    {htStartOffset, "markers.html", "start-offset"},
    {htPreview, "preview.html", ""},
    {htChapters, "chapters.html", ""},
    {htResult, "result.html", ""},
    {htAnalysis, "analysis.html", ""},
    {htOptimization, "analysis.html", "optimization"},
    {htReference, "tool-windows.html", "reference"},
    {htCurveWindow, "tool-windows.html", "curve"},
    {htCommandLine, "command-line.html", ""},
    {htSegments, "main-window.html", "segments"},
    {htPhantom, "main-window.html", "phantom"},
    {htTutorials, "tutorials.html", ""},
    {htHelpOnHelp, "help.html", ""},
}};

} // namespace

std::span<const THelpPage> HelpTopicTable() {
    return kTopics;
}

THelpPage HelpPageOf(int32_t topic) {
    for (const THelpPage &page : kTopics)
        if (page.Topic == topic)
            return page;
    return kTopics[0];
}

std::string HelpFolder() {
    return ProgramDir() + "help/";
}

std::string HelpFileOf(int32_t topic) {
    return HelpFolder() + HelpPageOf(topic).File;
}

std::string HelpUrlOf(int32_t topic) {
    std::string url = "file://";
    for (unsigned char c : HelpFileOf(topic)) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            url += hex;
        }
    }
    const std::string anchor = HelpPageOf(topic).Anchor;
    return anchor.empty() ? url : url + "#" + anchor;
}

} // namespace tessaly
