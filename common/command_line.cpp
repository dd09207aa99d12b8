#include "common/command_line.h"

#include <ostream>

#ifndef KOBAL_VERSION
#define KOBAL_VERSION "0"
#endif

namespace kobal {

const char* ProductVersion() {
    return KOBAL_VERSION;
}

void PrintHelp(const ProgramHelp& help, std::ostream& out) {
    out << "Usage: " << help.name << " [OPTION]";
    if (!help.operands.empty()) out << " [--] " << help.operands;
    out << "\n" << help.summary;
    if (!help.summary.empty() && help.summary.back() != '\n') out << "\n";
    out << "\nOptions:\n";
    for (const std::string& line : help.options) out << line << "\n";
    out << "  --help     display this help and exit\n"
           "  --version  output version information and exit\n";
    if (!help.operands.empty())
        out << "  --         end of options: what follows is taken as it stands, even a\n"
               "             name that begins with \"-\"\n";
}

void PrintVersion(const ProgramHelp& help, std::ostream& out) {
    out << help.name << " (Kobaltron) " << ProductVersion() << "\n";
}

StandardOptions ReadStandardOptions(const std::vector<std::string>& args, const ProgramHelp& help, std::ostream& out) {
    StandardOptions result;
    if (!args.empty() && args[0] == "--help") {
        PrintHelp(help, out);
        out.flush();
        result.exitStatus = 0;
        return result;
    }
    if (!args.empty() && args[0] == "--version") {
        PrintVersion(help, out);
        out.flush();
        result.exitStatus = 0;
        return result;
    }
    if (!args.empty() && args[0] == "--") {
        result.separated = true;
        result.args.assign(args.begin() + 1, args.end());
        return result;
    }
    result.args = args;
    return result;
}

std::vector<std::string> ArgumentsOf(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return args;
}

std::string JoinArguments(const std::vector<std::string>& args) {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        line += args[i];
    }
    return line;
}

}  // namespace kobal
