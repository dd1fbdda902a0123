// TIniFile: private-profile style ini access over whole-file atomic replacement.
#include "platform/ini_file.h"

#include "platform/file_system.h"
#include "platform/text_util.h"

#include <cerrno>
#include <cstring>
#include <unordered_set>

namespace tessaly {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string &s) {
    return TrimText(s, kIniBlanks);
}

// Section name of a line, or false when the line is no section header.
bool SectionOf(const std::string &line, std::string &name) {
    // Most lines are keys: they are passed over without making a trimmed copy, so that
    // finding a section after a long one stays cheap.
    const size_t first = line.find_first_not_of(kIniBlanks);
    if (first == std::string::npos || line[first] != '[')
        return false;
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[')
        return false;
    size_t close = t.rfind(']');
    if (close == std::string::npos || close == 0)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// Key and raw (untrimmed-after-=) value of a key line; false for anything else.
bool KeyOf(const std::string &line, std::string &key, std::string *raw = nullptr) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '[')
        return false;
    size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(t.substr(0, eq));
    if (key.empty())
        return false;
    if (raw)
        *raw = t.substr(eq + 1);
    return true;
}

// The value as a read returns it: trimmed, one pair of outer quotes removed, cut.
std::string DecodeValue(const std::string &raw) {
    std::string v = Trim(raw);
    if (v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\''))
        v = v.substr(1, v.size() - 2);
    if (v.size() > TIniFile::kMaxValueLength) {
        size_t cut = TIniFile::kMaxValueLength;
        // Do not leave half of a UTF-8 sequence at the end.
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80)
            --cut;
        v.resize(cut);
    }
    return v;
}

// The stored form of a value, quoted when a read would otherwise change it.
std::string EncodeValue(const std::string &v) {
    if (v.empty())
        return v;
    bool outerBlank = IsBlank(v.front()) || IsBlank(v.back());
    bool outerQuotes = v.size() >= 2 && v.front() == v.back() && (v.front() == '"' || v.front() == '\'');
    return (outerBlank || outerQuotes) ? "\"" + v + "\"" : v;
}

bool HasLineBreak(const std::string &s) {
    return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// Index range [first, end) of the lines of the first section called `name` (after its
// header); false when there is none.
bool FindSection(const std::vector<std::string> &lines, const std::string &name, size_t &header,
                 size_t &end) {
    std::string sec;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (SectionOf(lines[i], sec) && SameTextAscii(sec, name)) {
            header = i;
            end = i + 1;
            while (end < lines.size() && !SectionOf(lines[end], sec))
                ++end;
            return true;
        }
    }
    return false;
}

void EraseSections(std::vector<std::string> &lines, const std::string &sec) {
    size_t header, end;
    while (FindSection(lines, sec, header, end))
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
}

void DeleteKeys(std::vector<std::string> &lines, const std::string &sec, const std::string &key) {
    size_t header, end;
    if (!FindSection(lines, sec, header, end))
        return;
    std::string lineKey;
    for (size_t i = end; i-- > header + 1;)
        if (KeyOf(lines[i], lineKey) && SameTextAscii(lineKey, key))
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
}

// Replaces the key's first line (keeping the stored spelling of the key) or adds the
// key after the last non-blank line of its section, or a new section at the end.
void SetKey(std::vector<std::string> &lines, const std::string &sec, const std::string &key,
            const std::string &encoded) {
    size_t header, end;
    if (!FindSection(lines, sec, header, end)) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + sec + "]");
        lines.push_back(key + "=" + encoded);
        return;
    }
    std::string lineKey;
    size_t insertAt = header + 1;
    for (size_t i = header + 1; i < end; ++i) {
        if (KeyOf(lines[i], lineKey) && SameTextAscii(lineKey, key)) {
            lines[i] = lineKey + "=" + encoded;
            return;
        }
        if (!Trim(lines[i]).empty())
            insertAt = i + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + encoded);
}

} // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

TIniFile::TDocument TIniFile::Load() const {
    if (FUpdateDepth > 0)
        return FPending;
    TDocument doc;
    std::string text;
    int err = 0;
    if (!ReadWholeFile(FFileName, text, &err)) {
        doc.readable = err == ENOENT;
        doc.readError = err;
        return doc;
    }
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        doc.bom = true;
        text.erase(0, 3);
    }
    size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t stop = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            if (first)
                doc.crlf = true;
        }
        if (nl != std::string::npos)
            first = false;
        doc.lines.push_back(std::move(line));
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
    return doc;
}

const TIniFile::TDocument &TIniFile::View(TDocument &scratch) const {
    if (FUpdateDepth > 0)
        return FPending;
    scratch = Load();
    return scratch;
}

bool TIniFile::Fail(const std::string &reason) {
    FLastError = reason;
    return false;
}

bool TIniFile::Store(TDocument &doc) {
    if (!doc.readable)
        return Fail("Cannot read file \"" + FFileName + "\": " + std::strerror(doc.readError));
    const char *eol = doc.crlf ? "\r\n" : "\n";
    std::string text = doc.bom ? "\xEF\xBB\xBF" : "";
    size_t size = text.size();
    for (const std::string &line : doc.lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const std::string &line : doc.lines) {
        text += line;
        text += eol;
    }
    std::string error;
    if (!WriteFileAtomic(FFileName, text, &error))
        return Fail(error);
    return true;
}

namespace {

bool ValidSectionName(const std::string &sec)
{
    return !sec.empty() && !HasLineBreak(sec) && sec.find(']') == std::string::npos;
}

bool ValidKeyName(const std::string &k)
{
    return !k.empty() && !HasLineBreak(k) && k.find('=') == std::string::npos && k[0] != '[' && k[0] != ';';
}

} // namespace

bool TIniFile::EditLines(const std::function<void(std::vector<std::string> &)> &change)
{
    TDocument loaded;
    TDocument &doc = FUpdateDepth > 0 ? FPending : (loaded = Load());
    if (!doc.readable) {
        FUpdateFailed = FUpdateDepth > 0;
        return Fail("Cannot read file \"" + FFileName + "\": " + std::strerror(doc.readError));
    }
    // Outside an update an unchanged file is not rewritten.
    std::vector<std::string> before;
    if (FUpdateDepth == 0)
        before = doc.lines;
    change(doc.lines);
    if (FUpdateDepth > 0 || doc.lines == before)
        return true;
    return Store(doc);
}

bool TIniFile::Modify(const std::string &section, const std::string &key, const std::string *value,
                      bool eraseSection) {
    std::string sec = Trim(section), k = Trim(key);
    if (!ValidSectionName(sec))
        return Fail("Cannot write file \"" + FFileName + "\": invalid section name");
    if (!eraseSection && !ValidKeyName(k))
        return Fail("Cannot write file \"" + FFileName + "\": invalid key name");
    if (value && HasLineBreak(*value))
        return Fail("Cannot write file \"" + FFileName + "\": a value holds a line break");
    return EditLines([&](std::vector<std::string> &lines) {
        if (eraseSection)
            EraseSections(lines, sec);
        else if (!value)
            DeleteKeys(lines, sec, k);
        else
            SetKey(lines, sec, k, EncodeValue(*value));
    });
}

std::string TIniFile::ReadString(const std::string &section, const std::string &key,
                                 const std::string &def) const {
    TDocument scratch;
    const TDocument &doc = View(scratch);
    size_t header, end;
    if (!FindSection(doc.lines, Trim(section), header, end))
        return def;
    std::string k = Trim(key), lineKey, raw;
    for (size_t i = header + 1; i < end; ++i)
        if (KeyOf(doc.lines[i], lineKey, &raw) && SameTextAscii(lineKey, k))
            return DecodeValue(raw);
    return def;
}

int32_t TIniFile::ReadInteger(const std::string &section, const std::string &key, int32_t def) const {
    int64_t v = 0;
    return ParseInt(ReadString(section, key, ""), INT32_MIN, INT32_MAX, v, kIniInt) ? static_cast<int32_t>(v) : def;
}

bool TIniFile::ReadBool(const std::string &section, const std::string &key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string &section) const {
    TDocument scratch;
    const TDocument &doc = View(scratch);
    size_t header, end;
    return FindSection(doc.lines, Trim(section), header, end);
}

bool TIniFile::ValueExists(const std::string &section, const std::string &key) const {
    TDocument scratch;
    const TDocument &doc = View(scratch);
    size_t header, end;
    if (!FindSection(doc.lines, Trim(section), header, end))
        return false;
    std::string k = Trim(key), lineKey;
    for (size_t i = header + 1; i < end; ++i)
        if (KeyOf(doc.lines[i], lineKey) && SameTextAscii(lineKey, k))
            return true;
    return false;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    std::string name;
    TDocument scratch;
    for (const std::string &line : View(scratch).lines)
        if (SectionOf(line, name))
            names.push_back(name);
    return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string &section) const {
    std::vector<std::string> keys;
    for (const auto &kv : ReadSectionValues(section))
        keys.push_back(kv.first);
    return keys;
}

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSectionValues(const std::string &section) const {
    std::vector<std::pair<std::string, std::string>> values;
    TDocument scratch;
    const TDocument &doc = View(scratch);
    size_t header, end;
    if (!FindSection(doc.lines, Trim(section), header, end))
        return values;
    std::string key, raw;
    for (size_t i = header + 1; i < end; ++i)
        if (KeyOf(doc.lines[i], key, &raw))
            values.emplace_back(key, DecodeValue(raw));
    return values;
}

std::vector<std::string> TIniFile::ReadSectionLines(const std::string &section) const {
    std::vector<std::string> result;
    TDocument scratch;
    const TDocument &doc = View(scratch);
    size_t header, end;
    if (!FindSection(doc.lines, Trim(section), header, end))
        return result;
    for (size_t i = header + 1; i < end; ++i) {
        std::string t = Trim(doc.lines[i]);
        if (!t.empty() && t[0] != ';')
            result.push_back(t);
    }
    return result;
}

bool TIniFile::WriteString(const std::string &section, const std::string &key, const std::string &value) {
    return Modify(section, key, &value, false);
}

bool TIniFile::WriteInteger(const std::string &section, const std::string &key, int64_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string &section, const std::string &key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::ReplaceSection(const std::string &section,
                              const std::vector<std::pair<std::string, std::string>> &values) {
    std::string sec = Trim(section);
    std::vector<std::string> lines;
    lines.reserve(values.size());
    std::unordered_set<std::string> keys;
    keys.reserve(values.size());
    for (const auto &[key, value] : values) {
        std::string k = Trim(key);
        // Keys given twice, or a key or value that cannot be stored, take the way of
        // single writes, which replace or refuse them one by one.
        if (!keys.insert(UpperAscii(k)).second || !ValidKeyName(k) || HasLineBreak(value)) {
            bool ok = EraseSection(section);
            for (const auto &[key2, value2] : values)
                ok = WriteString(section, key2, value2) && ok;
            return ok;
        }
        lines.push_back(k + "=" + EncodeValue(value));
    }
    if (!ValidSectionName(sec))
        return Fail("Cannot write file \"" + FFileName + "\": invalid section name");
    return EditLines([&](std::vector<std::string> &doc) {
        EraseSections(doc, sec);
        if (lines.empty())
            return;
        // As the first single write adds it: a blank line, the header, then the keys.
        if (!doc.empty() && !Trim(doc.back()).empty())
            doc.emplace_back();
        doc.push_back("[" + sec + "]");
        doc.insert(doc.end(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    });
}

bool TIniFile::DeleteKey(const std::string &section, const std::string &key) {
    return Modify(section, key, nullptr, false);
}

bool TIniFile::EraseSection(const std::string &section) {
    return Modify(section, std::string(), nullptr, true);
}

void TIniFile::BeginUpdate() {
    if (FUpdateDepth++ == 0) {
        FUpdateDepth = 0;
        FPending = Load();
        FUpdateDepth = 1;
        FUpdateFailed = !FPending.readable;
    }
}

bool TIniFile::EndUpdate() {
    if (FUpdateDepth == 0)
        return true;
    if (--FUpdateDepth > 0)
        return true;
    TDocument doc = std::move(FPending);
    FPending = TDocument();
    if (FUpdateFailed) {
        FUpdateFailed = false;
        if (FLastError.empty())
            FLastError = "Cannot read file \"" + FFileName + "\"";
        return false;
    }
    return Store(doc);
}

void TIniFile::CancelUpdate() {
    FUpdateDepth = 0;
    FUpdateFailed = false;
    FPending = TDocument();
}

} // namespace tessaly
