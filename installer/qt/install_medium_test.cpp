// The staged install medium, installed by the real install program into a
// private home on an X server, then the installed launcher opens the sample
// playlist. Runs under xvfb-run; skips with the reason when the medium is
// not complete yet.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "common/playlist_reader.h"
#include "common/test_files.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kMedium = KOBAL_MEDIUM_DIR;
const std::string kStage = KOBAL_STAGE_DIR;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        std::array<char, 512> buf{};
        while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (!l.empty()) lines.push_back(l);
    }
    return lines;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string Native(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// Environment of this test and of everything it starts; restored afterwards.
class PrivateHome {
  public:
    explicit PrivateHome(const kobal::TempDir& home) {
        fs::create_directories(home / "run");
        fs::create_directories(home / "share");  // as on any desktop account
        ::chmod((home / "run").c_str(), 0700);
        Set("HOME", home.path());
        Set("XDG_CONFIG_HOME", home / "config");
        Set("XDG_DATA_HOME", home / "share");
        Set("XDG_RUNTIME_DIR", home / "run");
        Set("XDG_CURRENT_DESKTOP", "");
        // Nothing installed system-wide (menus, file types, a session bus) counts.
        fs::create_directories(home / "system/data");
        fs::create_directories(home / "system/config");
        Set("XDG_DATA_DIRS", home / "system/data");
        Set("XDG_CONFIG_DIRS", home / "system/config");
        Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home / "run/no-bus");
        Set("KOBALTRON_NO_DIALOGS", "1");  // message boxes answer OK / Yes
    }
    ~PrivateHome() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

  private:
    void Set(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

pid_t Start(const std::vector<std::string>& argv, const std::string& cwd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// The exit status, or nothing when the process is still running at the deadline.
std::optional<int> WaitFor(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

void Stop(pid_t pid) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

// Other tests may show windows on the same X server: only those of the
// given program file count.
bool OfProgram(const std::string& windowId, const std::string& program) {
    const std::string pid = Output("xdotool getwindowpid " + windowId + " 2>/dev/null");
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/" + pid + "/exe", ec);
    return !ec && exe == fs::weakly_canonical(program);
}

// Polls the X server until enough windows of the program show or the limit passes.
std::vector<std::string> WindowsOf(const std::string& search, const std::string& program, size_t wanted,
                                   std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> ids;
    while (std::chrono::steady_clock::now() < deadline) {
        ids.clear();
        for (const auto& id : Lines(Output("xdotool search --onlyvisible " + search + " 2>/dev/null")))
            if (OfProgram(id, program)) ids.push_back(id);
        if (ids.size() >= wanted) break;
        std::this_thread::sleep_for(200ms);
    }
    return ids;
}

std::string MissingForTheRun() {
    std::string missing;
    if (!std::getenv("DISPLAY")) missing += " an X display (run under xvfb-run);";
    if (Output("command -v xdotool").empty()) missing += " xdotool;";
    for (const char* f : {"install", "Install/Files.dat", "Install/Commands.dat"})
        if (!fs::exists(kMedium + "/" + f)) missing += std::string(" medium/") + f + ";";
    for (const char* p : {"resource/kobaltron", "resource/kobalactor", "resource/kobalconfig"})
        if (!fs::exists(kStage + "/" + p)) missing += std::string(" staged ") + p + ";";
    bool playlist = false;
    for (const auto& l : Lines(ReadText(kMedium + "/Install/Commands.dat")))
        playlist = playlist || l.find(".kpls") != std::string::npos;
    if (!playlist) missing += " a sample playlist (.kpls) on the medium;";
    return missing;
}

TEST(InstallMedium, InstalledLauncherOpensTheSamplePlaylist) {
    if (const std::string missing = MissingForTheRun(); !missing.empty())
        GTEST_SKIP() << "the end-to-end install needs:" << missing;

    kobal::TempDir home;
    PrivateHome env(home);
    const std::string dest = home / "share/kobaltron";  // the default destination

    const pid_t install = Start({kMedium + "/install"}, kMedium);
    const auto windows = WindowsOf("--name '^Kobaltron Install$'", kMedium + "/install", 1, 30s);
    if (windows.empty()) {
        Stop(install);
        FAIL() << "the Install window did not appear";
    }
    // Return presses "Install".
    const std::string wid = windows.front();
    Output("xdotool windowfocus --sync " + wid + " key Return");

    const std::optional<int> installed = WaitFor(install, 120s);
    if (!installed) Stop(install);
    ASSERT_EQ(installed, 0) << "install did not finish cleanly";

    EXPECT_TRUE(fs::exists(dest + "/resource/kobaltron"));
    EXPECT_NE(ReadText(home / "config/kobaltron/Kobaltron.ini").find(dest), std::string::npos);
    EXPECT_TRUE(fs::exists(home / "share/applications/Kobaltron/Congigure Kobaltron.url"));
    EXPECT_TRUE(fs::exists(home / "config/kobaltron/registry.reg"));

    std::string playlist;
    for (const auto& l : Lines(ReadText(kMedium + "/Install/Commands.dat")))
        if (playlist.empty() && l.find(".kpls") != std::string::npos) playlist = dest + "/" + Native(l);
    int actors = 0;
    {
        kobal::PlaylistReader reader(playlist);
        while (!reader.AtEnd()) {
            reader.ReadField();
            ++actors;
        }
    }
    ASSERT_GT(actors, 0) << playlist << " names no actor";

    // Playlist names are used as they stand, relative ones against the
    // working directory: the sample lists actors below the install directory.
    const pid_t launcher = Start({dest + "/resource/kobaltron", playlist}, dest);
    const std::optional<int> launched = WaitFor(launcher, 60s);
    if (!launched) Stop(launcher);
    EXPECT_EQ(launched, 0) << "the installed launcher did not end cleanly";

    // The installed actor program, not the staged one, shows them.
    const auto shown = WindowsOf("--class kobalactor", dest + "/resource/kobalactor", actors, 30s);
    EXPECT_EQ(static_cast<int>(shown.size()), actors) << "actor windows on the screen";

    // The actors were started by this test's launcher: end them by their ids.
    for (const auto& id : shown) {
        const int pid = std::atoi(Output("xdotool getwindowpid " + id).c_str());
        if (pid > 0) ::kill(pid, SIGTERM);
    }
}

}  // namespace
