#pragma once
// Qt ends a program with an abort when it cannot reach its display. Every
// program asks here first, so that a missing display is a clear message on
// stderr and a non-zero exit instead.
#include <optional>
#include <string>

namespace kobal::qt {

// The exit status of a program that found no display.
inline constexpr int kNoDisplayStatus = 3;

// The window-system platform that Qt will pick for these arguments and
// this environment: "-platform NAME" in the arguments, else
// QT_QPA_PLATFORM, else "xcb". A list ("wayland;xcb") gives its first entry,
// options after ":" are dropped.
std::string SelectedPlatform(int argc, char** argv, const char* environmentValue);

// What stands in the way of the display, or nothing when it answers (or
// when the platform is not X, which Qt checks itself).
std::optional<std::string> DisplayProblem(int argc, char** argv);

// Answers the question above; on a problem prints "program: problem" to
// stderr and ends the process with kNoDisplayStatus. Until the returned
// guard goes, a fatal Qt message (a platform plugin that cannot start)
// also ends it that way rather than with an abort.
class DisplayGuard {
public:
    DisplayGuard(const std::string& programName, int argc, char** argv);
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;
};

}  // namespace kobal::qt
