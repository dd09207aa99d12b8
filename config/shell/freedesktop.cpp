#include "config/shell/freedesktop.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "common/user_places.h"

extern char** environ;

namespace kobal::shell {
namespace {

// Letters, digits and "-" only, lower case: safe in a mime type and a file name.
std::string Token(const std::string& text) {
    std::string out;
    for (char c : LowerCase(text)) out += ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) ? c : '-';
    return out.empty() ? "-" : out;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// Writes the whole file through a temporary one, so a reader never sees
// half of it. Returns "" or "file: cause".
std::string WriteWhole(const std::string& file, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    const std::string temp = file + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return file + ": " + std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written) {
        const int e = written ? errno : err;
        ::unlink(temp.c_str());
        return file + ": " + std::strerror(e);
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        return file + ": " + std::strerror(e);
    }
    return {};
}

std::optional<std::string> ReadWhole(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The directories of installed packages' data, $XDG_DATA_DIRS as the
// base-directory rules give it.
std::vector<std::string> XdgDataDirs() {
    std::string dirs = "/usr/local/share/:/usr/share/";
    if (const char* v = std::getenv("XDG_DATA_DIRS"); v && *v) dirs = v;
    std::vector<std::string> out;
    std::istringstream in(dirs);
    for (std::string d; std::getline(in, d, ':');)
        if (!d.empty() && d.front() == '/') out.push_back(d);
    return out;
}

// The program of a desktop entry's Exec line: its first argument, unquoted.
std::string ExecProgram(const std::string& entryText) {
    std::istringstream lines(entryText);
    bool inEntry = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') inEntry = line == "[Desktop Entry]";
        if (!inEntry || line.rfind("Exec=", 0) != 0) continue;
        // The string-value escapes first, then the Exec quoting.
        std::string value;
        for (size_t i = 5; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') ++i;
            value += line[i];
        }
        std::string program;
        if (!value.empty() && value.front() == '"') {
            for (size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size()) ++i;
                program += value[i];
            }
        } else {
            program = value.substr(0, value.find(' '));
        }
        return program;
    }
    return {};
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

std::string XdgDataHome() {
    return kobal::XdgDir("XDG_DATA_HOME", "/.local/share");
}
std::string XdgConfigHome() {
    return kobal::XdgDir("XDG_CONFIG_HOME", "/.config");
}

std::optional<std::string> XdgFolders::FolderPath(int32_t folderId) {
    if (folderId != CSIDL_PROGRAMS) return std::nullopt;
    const std::string folder = XdgDataHome() + "/applications";
    // Always there on a desktop; a fresh account may not have it yet.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::optional<int> PosixCommandRunner::Run(const std::vector<std::string>& argv) {
    if (argv.empty()) return std::nullopt;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return std::nullopt;  // not installed (or not runnable): nothing to refresh

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return std::nullopt;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

std::string MimeTypeFor(const std::string& typeName) {
    return "application/x-" + Token(typeName);
}

std::string VerbDesktopId(const std::string& typeName, const std::string& verb) {
    return "kobaltron-" + Token(typeName) + "-" + Token(verb) + ".desktop";
}

VerbCommand SplitCommand(const std::string& command) {
    const std::string text = TrimBlanks(command);
    for (const char* arg : {" \"%1\"", " %1"}) {
        const std::string a = arg;
        if (text.size() > a.size() && text.compare(text.size() - a.size(), a.size(), a) == 0)
            return {TrimBlanks(text.substr(0, text.size() - a.size())), true};
    }
    return {text, false};
}

std::string QuoteExecArgument(const std::string& arg) {
    // Quoted only when it must be: some readers of Exec take the first word as it stands.
    if (!arg.empty() && arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") == std::string::npos) {
        std::string out;
        for (char c : arg) out += c == '%' ? std::string("%%") : std::string(1, c);
        return out;
    }
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

std::string EscapeDesktopValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string MimeIconName(const std::string& typeName) {
    std::string name = MimeTypeFor(typeName);
    name[name.find('/')] = '-';
    return name;
}

std::string DesktopDescription(const std::string& description) {
    // The registry keeps the description as written; a desktop names its
    // types in sentence case ("KobalTron Actor" reads "Kobaltron actor").
    std::string out = LowerCase(description);
    if (!out.empty() && out.front() >= 'a' && out.front() <= 'z') out.front() = static_cast<char>(out.front() - 32);
    return out;
}

std::string MimeTypeElement(const FileTypeInfo& info) {
    // Globs match without regard to letter case unless told otherwise, so
    // "*.kact" also takes "BOB.KACT". The short form is the first three letters.
    // The icon is the one the package installs under the type's name; where
    // it is missing (a per-user install), file managers show a text file's.
    std::string ext = LowerCase(info.Extension);
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    std::string xml = "  <mime-type type=\"" + MimeTypeFor(info.TypeName) +
                      "\">\n"
                      "    <comment>" +
                      XmlEscape(DesktopDescription(info.Description)) +
                      "</comment>\n"
                      "    <icon name=\"" +
                      MimeIconName(info.TypeName) +
                      "\"/>\n"
                      "    <generic-icon name=\"text-x-generic\"/>\n"
                      "    <sub-class-of type=\"text/plain\"/>\n"
                      "    <glob pattern=\"*." +
                      XmlEscape(ext) + "\"/>\n";
    if (ext.size() > 3) xml += "    <glob pattern=\"*." + XmlEscape(ext.substr(0, 3)) + "\"/>\n";
    return xml + "  </mime-type>\n";
}

std::string MimePackageXml(const std::vector<FileTypeInfo>& types) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const auto& t : types) xml += MimeTypeElement(t);
    return xml + "</mime-info>\n";
}

Freedesktop::Freedesktop(std::string dataHome, std::string configHome, CommandRunner& runner)
    : dataHome_(std::move(dataHome)), configHome_(std::move(configHome)), runner_(runner) {}

std::string Freedesktop::MimePackageFile(const std::string& typeName) const {
    return dataHome_ + "/mime/packages/kobaltron-" + Token(typeName) + ".xml";
}

std::vector<std::string> Freedesktop::RegisterFileType(const FileTypeInfo& info) {
    std::vector<std::string> failures;
    auto note = [&](const std::string& failure) {
        if (!failure.empty()) failures.push_back(failure);
    };
    const std::string mime = MimeTypeFor(info.TypeName);

    note(WriteWhole(MimePackageFile(info.TypeName), MimePackageXml({info})));

    std::vector<std::string> ids;
    const std::string icon = info.IconPath.empty() ? "" : ResolvePath(info.IconPath);
    for (size_t i = 0; i < info.Verbs.size() && i < info.Commands.size(); ++i) {
        const VerbCommand cmd = SplitCommand(info.Commands[i]);
        std::string exec = QuoteExecArgument(ResolvePath(cmd.program));
        if (cmd.passesFile) exec += " %f";
        std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
        const std::string description = DesktopDescription(info.Description);
        entry += "Name=" + EscapeDesktopValue(info.Verbs[i] + " " + description) + "\n";
        entry += "Comment=" + EscapeDesktopValue(description) + "\n";
        entry += "Exec=" + EscapeDesktopValue(exec) + "\n";
        entry += "Path=" + EscapeDesktopValue(WorkingDirectoryFor(ResolvePath(cmd.program))) + "\n";
        if (!icon.empty()) entry += "Icon=" + EscapeDesktopValue(icon) + "\n";
        entry += "MimeType=" + mime + ";\nNoDisplay=true\nTerminal=false\n";
        const std::string id = VerbDesktopId(info.TypeName, info.Verbs[i]);
        const std::string failure = WriteWhole(ApplicationsDir() + "/" + id, entry);
        note(failure);
        if (failure.empty()) ids.push_back(id);
    }

    if (!ids.empty()) {
        const std::string list = MimeAppsList();
        struct stat st {};
        const bool present = ::stat(list.c_str(), &st) == 0;
        const std::optional<std::string> old = ReadWhole(list);
        if (present && !old) note(list + ": " + std::strerror(EACCES));
        else note(WriteWhole(list, MergeMimeApps(old.value_or(""), mime, ids)));
    }
    return failures;
}

// Playlists name their actors relative to the working directory, and the
// programs expect it to be the install directory, as when started from the
// menu or the file manager: the directory above a program's "resource".
std::string WorkingDirectoryFor(const std::string& program) {
    std::string dir = ParentDirectory(program);
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && EqualsNoCase(dir.substr(slash + 1), "resource"))
        dir = slash == 0 ? "/" : dir.substr(0, slash);
    return dir;
}

std::vector<std::string> Freedesktop::RefreshCaches() {
    std::vector<std::string> failures;
    auto run = [&](const std::string& tool, const std::string& dir) {
        const std::optional<int> status = runner_.Run({tool, dir});
        if (status && *status != 0)
            failures.push_back(dir + ": " + tool + " ended with status " + std::to_string(*status));
    };
    if (DirectoryExists(dataHome_ + "/mime/packages")) run("update-mime-database", dataHome_ + "/mime");
    if (DirectoryExists(ApplicationsDir())) run("update-desktop-database", ApplicationsDir());
    return failures;
}

bool Freedesktop::SystemHasEntry(const std::string& desktopId, const std::string& program) const {
    for (const std::string& dir : XdgDataDirs()) {
        const std::string file = dir + "/applications/" + desktopId;
        // The user's own data directory is no system's, whatever the variable says.
        if (SameFile(dir + "/applications", ApplicationsDir())) continue;
        const std::optional<std::string> text = ReadWhole(file);
        if (!text) continue;
        const std::string exec = ExecProgram(*text);
        // A packaged entry for another install does not stand for this one.
        if (!exec.empty() && exec.front() == '/' && SameFile(exec, program)) return true;
    }
    return false;
}

void Freedesktop::WriteMenuEntry(const std::string& shortcutFile, const MenuEntry& menu) {
    std::string file = shortcutFile;
    if (EndsWithNoCase(file, ".url")) file.resize(file.size() - 4);
    file += ".desktop";

    const std::string& target = menu.target;
    const std::string path = ResolvePath(target.rfind("file:///", 0) == 0 ? NativePath(target.substr(8)) : target);
    std::string exec, workingDirectory;
    switch (menu.open) {
        case MenuOpen::Program:
            if (!menu.systemEntry.empty() && SystemHasEntry(menu.systemEntry, path)) {
                // The package's own entry already offers it: a second would only repeat it.
                std::error_code ec;
                std::filesystem::remove(file, ec);
                return;
            }
            exec = QuoteExecArgument(path);
            workingDirectory = WorkingDirectoryFor(path);
            break;
        case MenuOpen::Document: exec = "xdg-open " + QuoteExecArgument(path); break;
        case MenuOpen::Launcher: {
            const std::string launcher = ResolvePath(menu.launcher);
            exec = QuoteExecArgument(launcher) + " " + QuoteExecArgument(path);
            workingDirectory = WorkingDirectoryFor(launcher);
            break;
        }
    }
    std::string entry = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    entry += "Name=" + EscapeDesktopValue(menu.name) + "\n";
    entry += "Exec=" + EscapeDesktopValue(exec) + "\n";
    if (!workingDirectory.empty()) entry += "Path=" + EscapeDesktopValue(workingDirectory) + "\n";
    if (!menu.iconFile.empty()) entry += "Icon=" + EscapeDesktopValue(ResolvePath(menu.iconFile)) + "\n";
    if (!menu.categories.empty()) entry += "Categories=" + EscapeDesktopValue(menu.categories) + "\n";
    entry += "Terminal=false\n";
    if (const std::string failure = WriteWhole(file, entry); !failure.empty())
        throw RuntimeError(ErrorNumber::PathFileAccessError, file, 0, failure.substr(file.size() + 2));
}

std::string MergeMimeApps(const std::string& text, const std::string& mime,
                          const std::vector<std::string>& desktopIds) {
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    const std::string key = mime + "=";

    // Replaces mime's line in a group (adding group and line when missing);
    // make() turns the old value into the new one.
    auto set = [&](const std::string& group, auto make) {
        size_t start = lines.size();
        for (size_t i = 0; i < lines.size(); ++i)
            if (TrimBlanks(lines[i]) == "[" + group + "]") {
                start = i;
                break;
            }
        if (start == lines.size()) {
            if (!lines.empty() && !lines.back().empty()) lines.emplace_back();
            lines.push_back("[" + group + "]");
            lines.push_back(key + make(std::string()));
            return;
        }
        size_t end = start + 1;
        while (end < lines.size() && TrimBlanks(lines[end]).rfind("[", 0) != 0) ++end;
        for (size_t i = start + 1; i < end; ++i) {
            if (lines[i].rfind(key, 0) == 0) {
                lines[i] = key + make(lines[i].substr(key.size()));
                return;
            }
        }
        // After the group's last non-blank line.
        size_t at = end;
        while (at > start + 1 && TrimBlanks(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), key + make(std::string()));
    };

    set("Default Applications", [&](const std::string&) { return desktopIds.front() + ";"; });
    set("Added Associations", [&](const std::string& old) {
        std::string value;
        for (const auto& id : desktopIds) value += id + ";";
        std::istringstream in(old);
        std::string id;
        while (std::getline(in, id, ';')) {
            bool ours = id.empty();
            for (const auto& d : desktopIds) ours = ours || id == d;
            if (!ours) value += id + ";";
        }
        return value;
    });

    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

}  // namespace kobal::shell
