#include "installer/install_form.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/line_reader.h"
#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::installer {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProgramTitle = "Install";

bool EndsInSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

void MakeDirectory(const std::string& path) {
    const std::string native = NativePathForCreate(path);
    if (native.empty()) throw RuntimeError(ErrorNumber::PathNotFound, native, 0, "no folder named");
    if (::mkdir(native.c_str(), 0755) != 0) throw FileSystemError(errno, native);
}

// A file without its owner's write permission counts as read-only, as the
// attribute did: it is not deleted, even by a user who could.
void DeleteFile(const std::string& native) {
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) throw FileSystemError(errno, native);
    if (!(st.st_mode & S_IWUSR))
        throw RuntimeError(ErrorNumber::PathFileAccessError, native, 0, "the file is read-only");
    if (::unlink(native.c_str()) != 0) throw FileSystemError(errno, native);
}

// A program keeps its execute bits; any other file (an actor file, a
// picture, a text) is data, copied without them whatever the medium says:
// removable media often mark every file executable. Programs have no
// extension here, or are machine code.
bool IsProgram(const std::string& native) {
    const std::string name = native.substr(native.find_last_of('/') + 1);
    if (name.find('.') == std::string::npos) return true;
    char magic[4] = {};
    std::FILE* f = std::fopen(native.c_str(), "rb");
    if (!f) return false;
    const bool elf = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic,
                                                                    "\x7f"
                                                                    "ELF",
                                                                    4) == 0;
    std::fclose(f);
    return elf;
}

void CopyFile(const std::string& from, const std::string& toNative) {
    if (!FileExists(from)) throw RuntimeError(ErrorNumber::FileNotFound, ResolvePath(from));
    const std::string fromNative = ResolvePath(from);
    std::error_code ec;
    fs::copy_file(fromNative, toNative, fs::copy_options::none, ec);
    if (ec) {
        if (!DirectoryExists(ParentDirectory(toNative))) throw RuntimeError(ErrorNumber::PathNotFound, toNative);
        throw FileSystemError(ec.value(), toNative);
    }
    // Files from a read-only medium must stay replaceable by the next install.
    fs::permissions(toNative, fs::perms::owner_write, fs::perm_options::add, ec);
    if (!IsProgram(fromNative))
        fs::permissions(toNative, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::remove, ec);
}

// The path a line names below a folder, with the folder's own letter case
// where it exists, and with every link that exists on the way followed.
fs::path WhereItLeads(const std::string& folder, const std::string& line) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(NativePathForCreate(folder + "\\" + line), ec);
    return ec ? fs::path() : p;
}

bool Below(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty() && std::next(o) == outer.end()) break;  // a trailing separator
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

}  // namespace

bool StaysInside(const std::string& line) {
    if (IsAbsolutePath(line) || (!line.empty() && (line.front() == '\\' || line.front() == '/'))) return false;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find_first_of("\\/", start);
        if (end == std::string::npos) end = line.size();
        if (line.compare(start, end - start, "..") == 0 && end - start == 2) return false;
        start = end + 1;
    }
    return true;
}

void InstallForm::Form_Load(const std::string& currentDirectory) {
    std::string source = currentDirectory;
    if (EndsInSeparator(source)) source.pop_back();
    ctx_.view.SetSource(source);
    ctx_.view.SetDest(ReadInstallPath(ctx_.installPath, ctx_.defaultInstallPath));
    ctx_.view.SetSplashText("");

    // Each of the three is optional: the window opens without what is missing.
    try {
        ctx_.view.LoadSplashPic(source + "\\Install\\Splash.jpg");
    } catch (const RuntimeError&) {
    }
    try {
        ctx_.view.LoadSplashTitle(source + "\\Install\\Title.jpg");
    } catch (const RuntimeError&) {
    }
    try {
        LineReader info(source + "\\Install\\Info.txt");
        std::string text;
        while (!info.AtEnd()) text += info.ReadLine() + "\r";
        ctx_.view.SetSplashText(text);
    } catch (const RuntimeError&) {
    }
}

std::vector<std::string> InstallForm::LinesLeadingOut(const std::string& source, const std::string& dest) {
    std::vector<std::string> refused;
    std::error_code ec;
    const fs::path destination = fs::weakly_canonical(NativePath(ResolvePath(dest)), ec);
    auto check = [&](LineReader& list, bool onlyActorLines) {
        while (!list.AtEnd()) {
            const std::string line = list.ReadLine();
            if (onlyActorLines && line.find(".kact") == std::string::npos && line.find(".kpls") == std::string::npos)
                continue;
            // Lexically first (.., absolute), then through links that already exist.
            const fs::path target = WhereItLeads(dest, line);
            if (StaysInside(line) && !target.empty() && !destination.empty() && Below(target, destination)) continue;
            refused.push_back(list.name() + ", line " + std::to_string(list.lineNumber()) + ": " + line);
        }
    };
    {
        LineReader files(source + "\\Install\\Files.dat");
        check(files, false);
    }
    // A missing command list is reported when its turn comes, as before.
    if (FileExists(source + "\\Install\\Commands.dat")) {
        LineReader commands(source + "\\Install\\Commands.dat");
        check(commands, true);
    }
    return refused;
}

bool InstallForm::OverwritesItsSource(const std::string& source, const std::string& dest) {
    std::error_code ec;
    const fs::path from = fs::weakly_canonical(NativePath(ResolvePath(source)), ec);
    const fs::path to = fs::weakly_canonical(NativePath(ResolvePath(dest)), ec);
    if (from.empty() || to.empty()) return false;
    // The medium's folder or one inside it: copying would replace, then
    // delete, the files it reads.
    if (Below(to, from)) return true;
    // A destination around the medium, or reached through links: any file
    // that would be copied onto itself.
    LineReader files(source + "\\Install\\Files.dat");
    while (!files.AtEnd()) {
        const std::string line = files.ReadLine();
        if (line.find('.') == std::string::npos || !StaysInside(line) || !FileExists(source + "\\" + line)) continue;
        const fs::path target = WhereItLeads(dest, line);
        if (!target.empty() && fs::equivalent(ResolvePath(source + "\\" + line), target, ec)) return true;
    }
    return false;
}

ClickResult InstallForm::Install_Click() {
    std::string source = ctx_.view.Source();
    if (EndsInSeparator(source)) {
        source.pop_back();
        ctx_.view.SetSource(source);
    }
    const std::string copyList = source + "\\Install\\Files.dat";
    if (!FileExists(copyList)) {
        ctx_.boxes.ShowMessage("Source not found", kProgramTitle);
        return ClickResult::KeepOpen;
    }
    const std::string dest = ctx_.view.Dest();
    if (OverwritesItsSource(source, dest)) {
        ctx_.boxes.ShowMessage("The destination " + dest + " is the install medium's own folder " + source +
                                   " or shares its files: installing there would overwrite the files being "
                                   "installed. Nothing was copied; choose another destination.",
                               "!");
        return ClickResult::KeepOpen;
    }
    // Every line is looked at before anything is written: a medium with one
    // line that leads out installs nothing at all.
    if (const std::vector<std::string> refused = LinesLeadingOut(source, dest); !refused.empty()) {
        std::string text = "These lines lead outside the destination " + dest + ":";
        for (size_t i = 0; i < refused.size() && i < 20; ++i) text += "\n" + refused[i];
        if (refused.size() > 20) text += "\n... and " + std::to_string(refused.size() - 20) + " more";
        ctx_.boxes.ShowMessage(text + "\nNothing was installed.", "!");
        return ClickResult::Refused;
    }
    if (!DirectoryExists(dest)) {
        MakeDirectory(dest);
        Record(dest, "directory", "");
    }

    Overwrite mode = Overwrite::NotAsked;
    {
        LineReader files(copyList);
        while (!files.AtEnd()) {
            CopyListLine(files.ReadLine(), source, dest, mode);
        }
    }

    LineReader commands(source + "\\Install\\Commands.dat");
    while (!commands.AtEnd()) CommandLine(commands.ReadLine(), dest);
    return ClickResult::Done;
}

void InstallForm::CopyListLine(const std::string& line, const std::string& source, const std::string& dest,
                               Overwrite& mode) {
    const std::string target = dest + "\\" + line;
    if (line.find('.') == std::string::npos) {
        ctx_.view.SetMsg("Making Directory..." + line);
        if (!DirectoryExists(target)) {
            MakeDirectory(target);
            Record(dest, "directory", line);
        }
        ctx_.view.SetMsg("");
        return;
    }

    ctx_.view.SetMsg("Copying File..." + line);
    std::string targetNative = NativePathForCreate(target);
    bool copy = true;
    if (FileExists(target)) {
        if (mode == Overwrite::NotAsked)
            mode = ctx_.boxes.AskYesNo("Some files allready exist,automatically overwrite them all?", "?")
                       ? Overwrite::All
                       : Overwrite::AskEach;
        copy = mode == Overwrite::All || ctx_.boxes.AskYesNo("File " + line + " allready exists, Overwrite?", "?");
        if (copy) {
            targetNative = ResolvePath(target);  // the existing file, in its own letter case
            DeleteFile(targetNative);
        }
    }
    if (copy) {
        CopyFile(source + "\\" + line, targetNative);
        Record(dest, "file", line);
    }
    ctx_.view.SetMsg("");
}

void InstallForm::CommandLine(const std::string& line, const std::string& dest) {
    if (line == "install") {
        // On record before each is made: one that stops half-way is undone all the same.
        Record(dest, "registration", shell::kRegisterInstallPath);
        ctx_.installPath.WriteApplicationPath(dest);
        ctx_.boxes.ShowMessage("Registry key added", "!");
        Record(dest, "registration", shell::kRegisterFileTypes);
        ctx_.shell.RegisterFileAssociations();
        Record(dest, "registration", shell::kRegisterShortcuts);
        ctx_.shell.CreateStartMenuShortcuts();
        return;
    }
    if (line.find(".kact") != std::string::npos || line.find(".kpls") != std::string::npos) {
        Record(dest, "registration", shell::kRegisterMenuEntry + dest + "\\" + line);
        ctx_.shell.AddToStartMenu(dest + "\\" + line);
    }
}

void InstallForm::Record(const std::string& dest, const std::string& kind, const std::string& value) {
    if (ctx_.manifest) ctx_.manifest->Record(dest, kind, value);
}

}  // namespace kobal::installer
