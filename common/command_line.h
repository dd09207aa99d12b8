#pragma once
// The options every program answers before it reads its own command line:
// --help and --version (GNU style, to stdout, exit 0) and "--", after which
// everything is the program's own text even when it begins with "-".
// Only the first argument is looked at, so any other command line means
// what it always meant.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kobal {

struct ProgramHelp {
    std::string name;      // "kobaltron"
    std::string operands;  // "FILE.kact|FILE.kpls", or empty
    std::string summary;   // what the program does, one or more lines
    // Extra option lines ("  --run SECONDS  ..."), already indented.
    std::vector<std::string> options;
};

// The product's version, as the build knows it.
const char* ProductVersion();

void PrintHelp(const ProgramHelp& help, std::ostream& out);
void PrintVersion(const ProgramHelp& help, std::ostream& out);

struct StandardOptions {
    // Set when --help or --version was answered: the program ends with it.
    std::optional<int> exitStatus;
    // The arguments the program reads, without a leading "--".
    std::vector<std::string> args;
    bool separated = false;  // they followed "--"
};

// args excludes the program name.
StandardOptions ReadStandardOptions(const std::vector<std::string>& args, const ProgramHelp& help, std::ostream& out);

std::vector<std::string> ArgumentsOf(int argc, const char* const* argv);

// The arguments joined by single blanks: the "whole command line" that the
// actor program, the launcher and the configuration tool read.
std::string JoinArguments(const std::vector<std::string>& args);

}  // namespace kobal
