// Source kinds (the access path of a video or audio source), their kind strings, and
// file lists ("name" or "template with *|part|part...") shared by the source front-ends.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

enum TSourceKind {
    ksNone = 0,
    ksAuto = 1, // detect from the file
    ksDumy = 2, // phantom clip
    ksMsvw = 3, // the system media layer (platform/avi_file.h)
    ksOdml = 4, // the own AVI/WAVE reader
    ksStil = 5, // still image or image list
    ksMsds = 6, // direct media-framework access (none is bound)
    ksVfap = 7, // a reader plug-in
    ksLavf = 8, // any container FFmpeg demuxes, decoded frame-exact and sample-exact
};

// What a front-end says about its open source: a message key and the name it fills in
// ("WrdSrcVideo" with "OpenDML" reads "OpenDML video"). The text is the front-end's.
struct TSourceDescription {
    std::string Key;
    std::string Name;
    bool operator==(const TSourceDescription &) const = default;
};

// The last kind code.
constexpr TSourceKind kLastSourceKind = ksLavf;

// The four-letter code of a kind ("NONE", "AUTO", ...); "NONE" for values out of range.
std::string KindCode(TSourceKind kind);

// "CODE|parameter": for VFAP the plug-in's name (trimmed, upper-cased; empty for an
// invalid index), otherwise the decimal number (-1 when there is none).
std::string MakeKindString(TSourceKind kind, int param);

// Parses a kind string: the trimmed text before the first "|" (upper-cased) is the code,
// an unknown code counts as AUTO; the parameter is, for VFAP, the index of the loaded
// plug-in whose upper-cased name equals the text after the bar (-1 when none), else the
// number when it parses as an integer, else -1.
void ParseKindString(const std::string &text, TSourceKind &kind, int &param);

// The files a file list names: one name, or a template holding one "*" followed by the
// parts that replace it. Fields are trimmed. Empty when the list names no file (empty
// text, empty fields, or a template without exactly one "*").
std::vector<std::string> SplitFileList(const std::string &list);

// The extension of a file name with its dot, upper-cased (".WAV"); empty when none.
std::string UpperExtension(const std::string &fileName);

// Upper-cased copy (ASCII letters).
std::string UpperText(std::string s);

} // namespace tessaly
