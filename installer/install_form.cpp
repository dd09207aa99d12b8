#include "installer/install_form.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

ClickResult InstallForm::Command1_Click() {
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
    if (!DirectoryExists(dest)) {
        MakeDirectory(dest);
        Record(dest, "directory", "");
    }

    Overwrite mode = Overwrite::NotAsked;
    {
        LineReader files(copyList);
        while (!files.AtEnd()) {
            const std::string line = files.ReadLine();
            if (!StaysInside(line)) {
                // Such a line would let a medium replace any file of the user.
                ctx_.boxes.ShowMessage("Line " + std::to_string(files.lineNumber()) + " of " + files.name() +
                                           " names a place outside the install folders: " + line +
                                           "\nNothing was copied for it.",
                                       "!");
                continue;
            }
            CopyListLine(line, source, dest, mode);
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
