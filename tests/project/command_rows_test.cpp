// The command table of the main window: one row per command, names and keys unique,
// every row in a menu that exists, every command with the enable flag that allows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "project/command_rows.h"

namespace tessaly {
namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

TEST(CommandRows, OneRowPerCommandFoundByItsId)
{
    std::set<int> ids;
    for (const TCommandRow &row : CommandRows()) {
        if (row.Id != cmNone) {
            EXPECT_TRUE(ids.insert(row.Id).second) << row.Name;
        }
    }
    EXPECT_EQ(ids.size(), size_t(cmCount));
    for (int id = 0; id < cmCount; ++id) {
        const TCommandRow *row = CommandRow(TCommandId(id));
        ASSERT_NE(row, nullptr) << id;
        EXPECT_EQ(row->Id, id);
    }
    EXPECT_EQ(CommandRow(cmNone), nullptr);
    EXPECT_EQ(CommandRow(cmCount), nullptr);
}

TEST(CommandRows, NamesAndKeysAreUnique)
{
    std::set<std::string> names, keys;
    for (const TCommandRow &row : CommandRows()) {
        EXPECT_TRUE(names.insert(row.Name).second) << row.Name;
        for (const std::string &key : CommandShortcuts(row)) {
            EXPECT_EQ(key.find(' '), std::string::npos) << row.Name;
            EXPECT_TRUE(keys.insert(Lower(key)).second) << key << " of " << row.Name << " is taken";
        }
    }
    EXPECT_GT(keys.size(), 20u);
}

TEST(CommandRows, EveryRowStandsInAMenuMadeBeforeIt)
{
    std::set<std::string> menus(MenuBarNames().begin(), MenuBarNames().end());
    menus.insert(kMarkerListMenu);
    menus.insert("");   // keys without a menu entry
    for (const TCommandRow &row : CommandRows()) {
        EXPECT_TRUE(menus.count(row.Menu)) << row.Name << " in " << row.Menu;
        if (row.Flags & cfSubMenu) {
            EXPECT_EQ(row.Id, cmNone) << row.Name;
            menus.insert(row.Name);
        } else {
            // A command is always allowed by a flag of the core's enables.
            EXPECT_NE(row.Enable, nullptr) << row.Name;
        }
    }
}

TEST(CommandRows, KeysSplitAtSemicolonsWithTheMenuKeyFirst)
{
    const TCommandRow *open = CommandRow(cmFileOpen);
    EXPECT_EQ(CommandShortcuts(*open), (std::vector<std::string>{"F3", "Ctrl+O"}));
    EXPECT_TRUE(CommandShortcuts(*CommandRow(cmFileRevert)).empty());
    EXPECT_EQ(CommandTextKey("FileOpenItem"), "TMainForm.FileOpenItem.Caption");
}

TEST(CommandRows, TheEnablesOfARowFollowTheCoreRules)
{
    // Stepping needs a video; undo needs a step to undo; help is always there.
    TEnableState state;
    TEnables e = CheckEnables(state);
    EXPECT_FALSE(e.*CommandRow(cmStepBack)->Enable);
    EXPECT_FALSE(e.*CommandRow(cmEditUndo)->Enable);
    EXPECT_TRUE(e.*CommandRow(cmHelpAbout)->Enable);
    state.HasVideo = true;
    state.CanUndo = true;
    e = CheckEnables(state);
    EXPECT_TRUE(e.*CommandRow(cmStepBack)->Enable);
    EXPECT_TRUE(e.*CommandRow(cmEditUndo)->Enable);
    EXPECT_FALSE(e.*CommandRow(cmEditRedo)->Enable);
}

} // namespace
} // namespace tessaly
