// The message table is the one English source of the program's texts: every key the
// code looks up has its English text there, every key of the language file is one the
// table knows, and no code carries an English copy beside its key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "project/command_rows.h"
#include "shell/messages.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = test::SourceRoot();

std::string ReadAll(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The language file's keys per section.
std::map<std::string, std::vector<std::string>> LanguageKeys()
{
    std::map<std::string, std::vector<std::string>> keys;
    std::istringstream in(ReadAll(kRoot / "lang" / "tessaly.lng"));
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            keys[section];   // a section without keys is a language too
        }
        else if (!section.empty() && line.find('=') != std::string::npos)
            keys[section].push_back(line.substr(0, line.find('=')));
    }
    return keys;
}

// A component's caption or hint ("TPropertiesDlg.VideoLabel.Caption").
bool IsComponentText(const std::string &key)
{
    return std::count(key.begin(), key.end(), '.') >= 1 &&
           (key.ends_with(".Caption") || key.ends_with(".Hint") || key.ends_with(".Title"));
}

TEST(MessageTable, KeysAreUniqueAndEveryOneHasAnEnglishText)
{
    std::set<std::string> seen;
    for (const TMessageText &t : MessageTexts()) {
        EXPECT_TRUE(seen.insert(t.key).second) << "twice in the table: " << t.key;
        EXPECT_STRNE(t.english, "") << t.key;
    }
}

TEST(MessageTable, EveryKeyTheCodeLooksUpIsInTheTable)
{
    // Msg("Key"), ShowError("Key") and the command captions.
    const std::regex lookup(R"re((?:\bMsg|\bShowError)\(\s*"([A-Za-z0-9_.]+)"\s*\))re");
    size_t count = 0;
    for (const auto &[file, text] : test::ProgramSources()) {
        for (std::sregex_iterator it(text.begin(), text.end(), lookup), end; it != end; ++it, ++count)
            EXPECT_NE(DefaultText((*it)[1].str()), "") << file << " looks up " << (*it)[1].str();
    }
    EXPECT_GT(count, 100u);   // the scan found the program's lookups
    for (const TCommandRow &row : CommandRows())
        EXPECT_NE(DefaultText(CommandTextKey(row.Name)), "") << row.Name;
    for (const char *menu : MenuBarNames())
        EXPECT_NE(DefaultText(CommandTextKey(menu)), "") << menu;
}

TEST(MessageTable, NoCodeCarriesAnEnglishCopyBesideItsKey)
{
    // A lookup with an inline default would be a second English source for the key.
    const std::regex copy(R"re(\b(?:TranslateOr|ProjectText)\(\s*"[^"]+"\s*,\s*")re");
    for (const auto &[file, text] : test::ProgramSources())
        EXPECT_FALSE(std::regex_search(text, copy)) << file;
}

// The window's words come from the table: a caption, title, tab, button or hint written
// as an English literal in a window file would stay English in every language.
TEST(MessageTable, NoWindowFileWritesAUserVisibleWordInline)
{
    const std::regex shown(
        R"re(\b(setText|setWindowTitle|setTitle|setToolTip|setStatusTip|setWhatsThis|setPlaceholderText|addTab|insertTab|)re"
        R"re(setTabText|addButton|addItem|addAction|addMenu|QLabel|QPushButton|QCheckBox|QGroupBox|QRadioButton|QToolButton|)re"
        R"re(QAction|QMenu)\(\s*(?:[A-Za-z_]+\s*,\s*)?(?:QStringLiteral|QLatin1String|QString::fromUtf8|QString|tr)\(\s*"((?:[^"\\]|\\.)*)")re");
    const std::regex word("[A-Za-z]{2,}");
    const std::regex tags("<[^>]*>");
    size_t files = 0;
    for (const auto &[file, text] : test::ProgramSources()) {
        if (!file.starts_with("src/gui/"))
            continue;
        ++files;
        for (std::sregex_iterator it(text.begin(), text.end(), shown), end; it != end; ++it) {
            // The program's own name is no word of any language.
            const std::string literal = std::regex_replace((*it)[2].str(), tags, "");
            if (literal != "Tessaly") {
                EXPECT_FALSE(std::regex_search(literal, word))
                    << file << ": " << (*it)[1].str() << "(\"" << (*it)[2].str() << "\")";
            }
        }
    }
    EXPECT_GT(files, 30u);
}

TEST(MessageTable, EveryKeyOfTheLanguageFileIsInTheTable)
{
    const auto sections = LanguageKeys();
    ASSERT_TRUE(sections.count("English"));
    ASSERT_TRUE(sections.count("Deutsch"));
    // English lives in the program: its section only names the language.
    EXPECT_TRUE(sections.at("English").empty());
    size_t checked = 0;
    for (const auto &[language, keys] : sections) {
        for (const std::string &key : keys) {
            const bool command = key.starts_with("TMainForm.") && key.ends_with(".Caption") &&
                                 (key.find("Item.") != std::string::npos || key.find("Menu") != std::string::npos);
            // Hints are all in the table (English users get them too); other component
            // captions carry their English where their dialog is built.
            if (IsComponentText(key) && !command && !key.ends_with(".Hint"))
                continue;
            ++checked;
            EXPECT_NE(DefaultText(key), "") << "[" << language << "] " << key << " is missing from the table";
        }
    }
    EXPECT_GT(checked, 150u);
}

} // namespace
} // namespace tessaly
