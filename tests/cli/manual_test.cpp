// The manual's command-line page against the program: every command that
// `tessaly-cli --help` lists has its section there, with the usage line the command prints.
#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(CliManual, DescribesEveryCommandWithItsUsage)
{
    std::string help, page;
    ASSERT_EQ(test::RunCommand(test::CliProgram() + " --help", &help), 0);
    ASSERT_TRUE(ReadWholeFile(std::string(TESSALY_BIN_DIR) + "/help/command-line.html", page));
    bool inCommands = false;
    int commands = 0;
    for (const std::string &line : test::SplitLines(help)) {
        if (line == "commands:") {
            inCommands = true;
            continue;
        }
        // Command lines: two blanks, then the lower-case name (options start with "-").
        if (!inCommands || line.size() < 3 || line.rfind("  ", 0) != 0 || line[2] < 'a' || line[2] > 'z')
            continue;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        ++commands;
        EXPECT_NE(page.find("id=\"cmd-" + name + "\""), std::string::npos) << "no section for " << name;
        // The first usage line of the command, as the manual prints it.
        std::string usage;
        ASSERT_EQ(test::RunCommand(test::CliProgram() + " " + name + " --help", &usage), 0) << name;
        std::string first = test::SplitLines(usage).at(0);
        ASSERT_EQ(first.rfind("usage: ", 0), 0u) << first;
        first = first.substr(7);
        EXPECT_NE(page.find("<pre>" + first + "</pre>"), std::string::npos) << "usage of " << name << ": " << first;
    }
    EXPECT_GE(commands, 5);
}

} // namespace
} // namespace tessaly
