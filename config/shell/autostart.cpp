#include "config/shell/autostart.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/text.h"
#include "config/shell/freedesktop.h"

namespace kobal::shell {

namespace {

constexpr const char* kFileKey = "X-Kobaltron-File=";
constexpr const char* kTitle = "!";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The launcher's own endings: an actor file or a playlist.
bool LauncherOpens(const std::string& file) {
    const std::string lower = LowerCase(file);
    for (const char* end : {".kact", ".kac", ".kpls", ".kpl"})
        if (EndsWith(lower, end)) return true;
    return false;
}

std::string UnescapeDesktopValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == 's' ? ' ' : c;
    }
    return out;
}

}  // namespace

bool PosixEntryFiles::Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::optional<std::string> PosixEntryFiles::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PosixEntryFiles::Write(const std::string& path, const std::string& text, std::string& reason) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    // Written beside and renamed, so a session starting meanwhile never reads half an entry.
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            reason = "cannot write " + part;
            return false;
        }
    }
    std::filesystem::rename(part, path, ec);
    if (ec) reason = "cannot write " + path + ": " + ec.message();
    return !ec;
}

bool PosixEntryFiles::Remove(const std::string& path, std::string& reason) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (ec) reason = "cannot remove " + path + ": " + ec.message();
    return !ec;
}

Autostart::Autostart(EntryFiles& files, MessageBoxPort& boxes, std::string configHome, std::string installdir)
    : files_(files), boxes_(boxes), configHome_(std::move(configHome)), installdir_(std::move(installdir)) {}

std::string Autostart::EntryText(const std::string& launcher, const std::string& file) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kobaltron actors\n"
           "Comment=" +
           EscapeDesktopValue("Starts " + file + " when you log in") +
           "\n"
           "Exec=" +
           EscapeDesktopValue(QuoteExecArgument(launcher) + " " + QuoteExecArgument(file)) +
           "\n"
           // The install directory, as for the menu entries: playlists name
           // their actors relative to it.
           "Path=" +
           EscapeDesktopValue(WorkingDirectoryFor(launcher)) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n" +
           kFileKey + EscapeDesktopValue(file) + "\n";
}

std::optional<std::string> Autostart::Current() {
    const auto text = files_.Read(EntryPath());
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(kFileKey, 0) == 0) return UnescapeDesktopValue(line.substr(std::string(kFileKey).size()));
    }
    return std::nullopt;
}

bool Autostart::Choose(const std::string& file) {
    if (file.empty() || file.front() != '/') {
        boxes_.ShowMessage("Choose the actor file or playlist by its full name: " + file, kTitle);
        return false;
    }
    if (!LauncherOpens(file)) {
        boxes_.ShowMessage(file + " is neither an actor file (.kact) nor a playlist (.kpls)", kTitle);
        return false;
    }
    if (!files_.Exists(file)) {
        boxes_.ShowMessage("File not found: " + file, kTitle);
        return false;
    }
    const std::string launcher = ResolvePath(installdir_ + "resource\\kobaltron");
    if (!files_.Exists(launcher)) {
        boxes_.ShowMessage("Cannot find the application", kTitle);
        return false;
    }
    std::string reason;
    if (!files_.Write(EntryPath(), EntryText(launcher, file), reason)) {
        boxes_.ShowMessage("The actors cannot be started at login: " + reason, kTitle);
        return false;
    }
    boxes_.ShowMessage(file + " will start when you log in", kTitle);
    return true;
}

bool Autostart::Remove() {
    std::string reason;
    if (files_.Remove(EntryPath(), reason)) return true;
    boxes_.ShowMessage("The actors cannot stop starting at login: " + reason, kTitle);
    return false;
}

}  // namespace kobal::shell
