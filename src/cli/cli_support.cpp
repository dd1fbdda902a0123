// Argument parsing of tessaly-cli.
#include "cli/cli_support.h"

#include "platform/text_util.h"

#include <iostream>

namespace tessaly::cli {

std::string TArgs::Value(const std::string &name, const std::string &def) const
{
    auto it = Values.find(name);
    return it == Values.end() ? def : it->second;
}

bool ParseArgs(const std::vector<std::string> &args, const std::set<std::string> &valued,
               const std::set<std::string> &flags, TArgs &out, std::string &error)
{
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (options && a == "--") {
            options = false;
            continue;
        }
        if (!options || a.size() < 2 || a[0] != '-' || (a[1] >= '0' && a[1] <= '9')) {
            out.Positional.push_back(a);
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        size_t eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (name == "-h")
            name = "--help";
        if (valued.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            out.Values[name] = value;
        } else if (flags.count(name) || name == "--help") {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            out.Flags.insert(name);
        } else {
            error = "unknown option " + name;
            return false;
        }
    }
    return true;
}

} // namespace tessaly::cli
