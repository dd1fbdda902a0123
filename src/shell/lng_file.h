// TLngFile: a language file (one section per language, key=value lines with the
// quoted/coded value syntax), read afresh for every lookup.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

class TLngFile {
public:
    // `fileName` is trimmed; the file is not opened until it is read.
    explicit TLngFile(const std::string &fileName);
    const std::string &FileName() const { return FFileName; }

    // The language names: the trimmed texts between the brackets of the section lines,
    // in file order (a section line is a trimmed line longer than 2 characters that
    // starts with "[" and ends with "]"). Empty when the file cannot be read.
    std::vector<std::string> ReadLanguages() const;

    // Looks `key` up in the section of `language`: the section is the one whose whole
    // trimmed line, upper-cased, equals "[" + the upper-cased trimmed name + "]"; the
    // first key line whose trimmed key matches without regard to case wins. `value`
    // receives the trimmed, still coded value. False when the file, section or key is
    // missing.
    bool Lookup(const std::string &language, const std::string &key, std::string &value) const;

    // Decodes the value syntax: '...' literal (UTF-8 kept; text that is no valid UTF-8
    // is taken as Latin-1), #nn decimal and $hh hexadecimal character codes (written as
    // UTF-8), \n CR LF, \t tab, \x the character x; everything else outside quotes is
    // skipped.
    static std::string DecodeValue(const std::string &value);

private:
    bool ReadLines(std::vector<std::string> &lines) const;

    std::string FFileName;
};

} // namespace tessaly
