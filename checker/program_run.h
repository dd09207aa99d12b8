#pragma once
// The staged kobalcheck run as a shell runs it, for the program's tests.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "common/test_files.h"

namespace kobal::checker::testing {

struct Result {
    int status = -1;
    std::string output;
};

inline std::string ShellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs kobalcheck in dir with the given arguments; stderr is kept apart
// unless withErrors is set.
inline Result Kobalcheck(const std::string& dir, const std::string& args, bool withErrors = false) {
    static kobal::TempDir config;  // no install path setting unless a test writes one
    const std::string command = "cd " + ShellQuoted(dir) + " && XDG_CONFIG_HOME=" + ShellQuoted(config.path()) + " " +
                                ShellQuoted(KOBALCHECK_PROGRAM) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
    Result r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buffer{};
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) r.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace kobal::checker::testing
