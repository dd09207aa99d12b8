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

// Held around the making of the Qt application. It connects to the X
// display first: an X server resets when its last client leaves (Xvfb
// unless started with -noreset) and refuses connections meanwhile, which
// Qt answers with an abort. So a refused connection is tried again for a
// few seconds, and the guard's own connection stays open until Qt has
// made its own, so the server cannot reset in between.
// With exitOnProblem a display that cannot be reached prints
// "program: problem" to stderr and ends the process with kNoDisplayStatus;
// otherwise problem() tells it. While the guard lives, a fatal Qt message
// (a platform plugin that cannot start) ends the process the same way
// rather than with an abort.
class DisplayGuard {
  public:
    DisplayGuard(const std::string& programName, int argc, char** argv, bool exitOnProblem = true);
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

    // Nothing when the display answers (or the platform is not X, which Qt checks itself).
    const std::optional<std::string>& problem() const { return problem_; }

  private:
    std::optional<std::string> problem_;
    void* connection_ = nullptr;
};

}  // namespace kobal::qt
