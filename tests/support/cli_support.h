// Helpers for the tests that run the tessaly-cli program.
#pragma once

#include <string>
#include <vector>

namespace tessaly::test {

// The built tessaly-cli program, quoted for a shell command line.
std::string CliProgram();

// The lines of text without their line feeds; a final unterminated line counts too.
std::vector<std::string> SplitLines(const std::string &text);

} // namespace tessaly::test
