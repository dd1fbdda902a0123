// TIniFile: key-by-key access to an ini file (sections in brackets, key=value lines)
// with the semantics of the classic private-profile functions, written atomically.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_util.h"

namespace tessaly {

// Blanks of an ini line; a line feed never occurs inside one and is kept in arguments.
inline constexpr std::string_view kIniBlanks = " \t\r\v\f";
// An integer value of an ini file: trimmed, decimal with any number of leading zeros or
// "0x" and hex digits (a 32-bit word, read as signed); ReadInteger reads 32 bits.
inline constexpr TIntSyntax kIniInt{kIniBlanks, SIZE_MAX, true};

// Reads and writes one ini file. Nothing is cached: every read loads the file and
// every write rewrites it at once (temporary file beside it, flushed, renamed over),
// unless an update is open (BeginUpdate/EndUpdate), which gathers the writes and
// stores them in one replacement.
//
// Rules: sections and keys compare without regard to letter case and are trimmed;
// the first matching section and key count; a written key replaces its line (the
// stored spelling of the key is kept) or is added after the last line of its
// section; a new section is added at the end of the file; lines and sections that
// are not touched stay as they are (comments, foreign keys, line-end style).
// A read value is trimmed, one pair of matching outer quotes (' or ") is removed and
// the result is cut at 1023 characters. Values that would not survive that (outer
// blanks or outer quotes) are written inside double quotes so they read back as
// written.
class TIniFile {
public:
    static constexpr size_t kMaxValueLength = 1023;

    explicit TIniFile(std::string fileName);
    const std::string &FileName() const { return FFileName; }

    // Reads: a missing file, section or key gives `def`.
    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &def) const;
    // Decimal integer, or hexadecimal after "0x"/"0X" (taken as 32 bits, so 0xFFFFFFFF
    // is -1); anything else, or a value outside 32 bits, gives `def`.
    int32_t ReadInteger(const std::string &section, const std::string &key, int32_t def) const;
    // Read as an integer; non-zero is true; unreadable gives `def`.
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;
    bool SectionExists(const std::string &section) const;
    bool ValueExists(const std::string &section, const std::string &key) const;
    // Names of all sections in file order.
    std::vector<std::string> ReadSections() const;
    // Keys of the (first) section, in file order, as stored (duplicates kept).
    std::vector<std::string> ReadSection(const std::string &section) const;
    // key/value pairs of the section in file order, values read as by ReadString.
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(const std::string &section) const;
    // The section's non-empty, non-comment lines, trimmed, as they stand ("name=path").
    std::vector<std::string> ReadSectionLines(const std::string &section) const;

    // Writes: true when the file was replaced (or, inside an update, when the change
    // was taken); false when the system refused or the text cannot be stored (a line
    // break in any part, "=" or a leading "[" in a key, "]" in a section, an empty key
    // or section). LastError() then names the file and the reason. Refusal never
    // damages the existing file.
    bool WriteString(const std::string &section, const std::string &key, const std::string &value);
    bool WriteInteger(const std::string &section, const std::string &key, int64_t value);
    bool WriteBool(const std::string &section, const std::string &key, bool value);
    // Removes the key (every line of it in the first matching section).
    bool DeleteKey(const std::string &section, const std::string &key);
    // Removes every section of that name with all its lines.
    bool EraseSection(const std::string &section);
    // EraseSection followed by WriteString of every pair in order, in one pass over the
    // document (a section of many keys is written in time linear in its size).
    bool ReplaceSection(const std::string &section, const std::vector<std::pair<std::string, std::string>> &values);

    // Gathers writes in memory until the matching EndUpdate, which stores them in one
    // replacement of the file and returns its success (false too when the file could
    // not be read at BeginUpdate). Reads inside an update see the gathered state.
    // Updates nest; only the outermost EndUpdate writes.
    void BeginUpdate();
    bool EndUpdate();
    // Drops the gathered writes of an open update; the file stays as it was.
    void CancelUpdate();

    const std::string &LastError() const { return FLastError; }


private:
    struct TDocument {
        std::vector<std::string> lines;
        bool crlf = false;
        bool bom = false;
        bool readable = true;
        int readError = 0;
    };

    TDocument Load() const;
    // The gathered document inside an update, else the file loaded into `scratch`.
    const TDocument &View(TDocument &scratch) const;
    bool Store(TDocument &doc);
    // Loads the document (or takes the pending one of an update), lets `change` edit its
    // lines and stores it when they changed and no update is open.
    bool EditLines(const std::function<void(std::vector<std::string> &)> &change);
    bool Modify(const std::string &section, const std::string &key, const std::string *value,
                bool eraseSection);
    bool Fail(const std::string &reason);

    std::string FFileName;
    std::string FLastError;
    int FUpdateDepth = 0;
    bool FUpdateFailed = false;
    TDocument FPending;
};

} // namespace tessaly
