// Helpers for the tests that run the tessaly-cli program.
#include "support/cli_support.h"

#include "support/test_support.h"

#include <sstream>

namespace tessaly::test {

std::string CliProgram()
{
    return ShellQuote(std::string(TESSALY_BIN_DIR) + "/tessaly-cli");
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace tessaly::test
