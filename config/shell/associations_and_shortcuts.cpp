#include "config/shell/associations_and_shortcuts.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "common/user_places.h"

namespace kobal::shell {
namespace {

bool Exists(const std::string& path) {
    return FileExists(path) || DirectoryExists(path);
}

void MakeFolder(const std::string& path) {
    const std::string native = NativePathForCreate(path);
    if (::mkdir(native.c_str(), 0755) != 0) throw FileSystemError(errno, native);
}

// A shortcut name taken from a file must stay inside the Programs folder.
std::string ShortcutNameFromFile(std::string name) {
    for (char& c : name)
        if (c == '\\' || c == '/') c = '-';
    return name;
}

std::string AbsoluteName(const std::string& fileName) {
    if (IsAbsolutePath(fileName)) return fileName;
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer)) return fileName;
    return std::string(buffer) + "/" + fileName;
}

std::string ToUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// The menu's categories: actors beside the packaged sample entry.
constexpr const char* kActorCategories = "Game;Amusement;";

}  // namespace

bool IsActorOrPlaylist(const std::string& fileName) {
    const std::string ending = ToUpper(RightChars(fileName, 4));
    return ending == "KACT" || ending == ".KAC" || ending == "KPLS" || ending == ".KPL";
}

std::string cspecialfolders::GetSpecialFolder(int32_t folderId) const {
    const std::optional<std::string> path = lookup_.FolderPath(folderId);
    if (!path || path->empty()) return {};
    std::string folder = *path;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

std::string PathToFileUrl(const std::string& path) {
    std::string url = "file:///";
    url.reserve(url.size() + path.size());
    for (char c : path) url += c == '\\' ? '/' : c;
    return url;
}

AssociationsAndShortcuts::AssociationsAndShortcuts(ShellContext context) : ctx_(std::move(context)) {}

std::string AssociationsAndShortcuts::InstallDir() const {
    return InstallDirFrom(ReadInstallPath(ctx_.installPath, ctx_.defaultInstallPath));
}

bool AssociationsAndShortcuts::ApplicationPresent(const std::string& installdir) const {
    return FileExists(installdir + "resource\\kobalactor");
}

std::string AssociationsAndShortcuts::ProgramsFolder() const {
    return cspecialfolders(ctx_.folders).GetSpecialFolder(CSIDL_PROGRAMS);
}

std::vector<std::string> AssociationsAndShortcuts::RegisterFileType(FileTypeInfo& info) {
    std::vector<std::string> failures;
    std::string reason;
    // One line per key, however many of its writes failed.
    auto check = [&](bool ok, const std::string& key) {
        if (ok) return;
        const std::string line = "HKEY_CLASSES_ROOT\\" + key + ": " + reason;
        for (const auto& f : failures)
            if (f.rfind("HKEY_CLASSES_ROOT\\" + key + ":", 0) == 0) return;
        failures.push_back(line);
    };
    auto& reg = ctx_.registry;

    const std::string icon = info.IconPath + "," + std::to_string(info.IconIndex);
    if (info.Extension.empty() || info.Extension.front() != '.') info.Extension = "." + info.Extension;

    check(reg.CreateKey(info.Extension, reason), info.Extension);
    check(reg.SetValue(info.Extension, "", info.TypeName, reason), info.Extension);
    if (!info.ContentType.empty())
        check(reg.SetValue(info.Extension, "Content Type", info.ContentType, reason), info.Extension);

    check(reg.CreateKey(info.TypeName, reason), info.TypeName);
    if (icon != ",0") {
        const std::string key = info.TypeName + "\\DefaultIcon";
        check(reg.CreateKey(key, reason), key);
        check(reg.SetValue(key, "", icon, reason), key);
    }
    check(reg.SetValue(info.TypeName, "", info.Description, reason), info.TypeName);

    const std::string shell = info.TypeName + "\\Shell";
    check(reg.CreateKey(shell, reason), shell);
    for (size_t i = 0; i < info.Verbs.size(); ++i) {
        if (i >= info.Commands.size())
            throw RuntimeError(ErrorNumber::SubscriptOutOfRange, {}, 0, "no command for the verb " + info.Verbs[i]);
        const std::string verb = shell + "\\" + info.Verbs[i];
        const std::string command = verb + "\\Command";
        check(reg.CreateKey(verb, reason), verb);
        check(reg.CreateKey(command, reason), command);
        check(reg.SetValue(command, "", info.Commands[i], reason), command);
    }

    if (ctx_.desktop)
        for (auto& f : ctx_.desktop->RegisterFileType(info)) failures.push_back(std::move(f));
    return failures;
}

std::vector<FileTypeInfo> ProductFileTypes(const std::string& installdir) {
    FileTypeInfo actor;
    actor.Extension = ".KACT";
    actor.TypeName = "Kactor";
    actor.Description = "KobalTron Actor";
    actor.ContentType = "kact";
    actor.IconPath = installdir + "resource\\KobalTronIcon.ico";
    actor.Verbs = {"Open", "Install"};
    actor.Commands = {installdir + "resource\\kobaltron \"%1\"", installdir + "resource\\kobalconfig \"%1\""};

    FileTypeInfo playlist;
    playlist.Extension = ".KPLS";
    playlist.TypeName = "Kplaylist";
    playlist.Description = "KobalTron Playlist";
    playlist.ContentType = "kpls";
    playlist.IconPath = installdir + "resource\\icon_playlist.ico";
    playlist.Verbs = {"Open", "Install"};
    playlist.Commands = {installdir + "resource\\kobaltron %1", installdir + "resource\\kobalconfig %1"};
    return {actor, playlist};
}

void AssociationsAndShortcuts::RegisterFileAssociations() {
    const std::string installdir = InstallDir();
    if (!ApplicationPresent(installdir)) {
        ctx_.boxes.ShowMessage("Cannot find the application", "!");
        return;
    }

    std::vector<std::string> failures;
    for (FileTypeInfo& type : ProductFileTypes(installdir))
        for (auto& f : RegisterFileType(type)) failures.push_back(std::move(f));

    if (ctx_.desktop)
        for (auto& f : ctx_.desktop->RefreshCaches()) failures.push_back(std::move(f));

    // A write that failed is named rather than passed over: the user would
    // otherwise be told the associations work when they do not.
    if (failures.empty()) {
        ctx_.boxes.ShowMessage("File Associations have been made!", "!");
        return;
    }
    std::string text = "File Associations could not be made completely. Could not write:";
    for (const auto& f : failures) text += "\n" + f;
    ctx_.boxes.ShowMessage(text, "!");
}

void AssociationsAndShortcuts::CreateStartMenuShortcuts() {
    const std::string installdir = InstallDir();
    if (!ApplicationPresent(installdir)) {
        ctx_.boxes.ShowMessage("Cannot find the application", "!");
        return;
    }
    const std::string programs = ProgramsFolder();
    if (!Exists(programs + "Kobaltron")) MakeFolder(programs + "Kobaltron");
    if (!Exists(programs + "Kobaltron\\Actors")) MakeFolder(programs + "Kobaltron\\Actors");

    const std::string icon = installdir + "resource\\KobalTronIcon.ico";
    const MenuEntry configure{.name = "Congigure Kobaltron",
                              .target = installdir + "resource\\kobalconfig",
                              .iconFile = icon,
                              .open = MenuOpen::Program,
                              .categories = "Settings;",
                              .systemEntry = kSystemConfigEntry};  // a packaged install has its own
    WriteShortcut(CSIDL_PROGRAMS, "Kobaltron\\Congigure Kobaltron", configure);
    // The menu has no folders of its own: a bare "Help" would say nothing of whose.
    const MenuEntry help{.name = "Kobaltron Help",
                         .target = installdir + "resource\\help.txt",
                         .iconFile = icon,
                         .categories = std::string(kActorCategories) + "Documentation;"};
    WriteShortcut(CSIDL_PROGRAMS, "Kobaltron\\Help", help);
    ctx_.boxes.ShowMessage("Start Menu shortcuts have been added!", "!");
}

void AssociationsAndShortcuts::AddToStartMenu(const std::string& fileName) {
    const std::string installdir = InstallDir();
    if (!ApplicationPresent(installdir)) {
        ctx_.boxes.ShowMessage("Cannot find the application", "!");
        throw ProgramEnd{1};
    }
    if (!FileExists(fileName)) {
        ctx_.boxes.ShowMessage("File not found", ctx_.programTitle);
        throw ProgramEnd{1};
    }
    const std::string programs = ProgramsFolder();
    const std::string subfolder = Exists(programs + "Kobaltron\\Actors") ? "Kobaltron\\Actors\\" : "";
    // A shortcut must find the file from anywhere, not only from here.
    const std::string url = PathToFileUrl(AbsoluteName(fileName));

    // The entry hands the file to the launcher, as opening it in a file manager does.
    MenuEntry entry{.target = url,
                    .open = MenuOpen::Launcher,
                    .launcher = installdir + "resource\\kobaltron",
                    .categories = kActorCategories};
    const std::string ending = ToUpper(RightChars(fileName, 4));
    if (ending == "KPLS" || ending == ".KPL") {
        std::string name = fileName.substr(fileName.find_last_of("\\/") + 1);
        name = name.substr(0, name.find('.'));
        entry.name = ShortcutNameFromFile(name);
        entry.iconFile = installdir + "resource\\icon_playlist.ico";
        WriteShortcut(CSIDL_PROGRAMS, subfolder + entry.name, entry);
        ctx_.boxes.ShowMessage("The playlist has been added to the start menu!", "!");
        return;
    }
    if (ending != "KACT" && ending != ".KAC") return;

    SettingStore& s = ctx_.settings;
    ReadSettingsFile(s, fileName, 1, LoopShape::Launcher);
    // The actor's folder as the launcher and the actor program find it (an
    // actor copied anywhere included); otherwise the icon would point nowhere.
    const std::string actorDir =
        ResolveActorPath(s.actorpath, installdir, AbsoluteName(fileName), s.iconfile, UserPlacesFromEnvironment());
    entry.name = ShortcutNameFromFile(s.actorname);
    entry.iconFile = actorDir + s.iconfile;
    WriteShortcut(CSIDL_PROGRAMS, subfolder + entry.name, entry);
    ctx_.boxes.ShowMessage(s.actorname + " has been added to the start menu!", "!");
}

void AssociationsAndShortcuts::WriteShortcutFile(int32_t folderId, const std::string& name, const std::string& target,
                                                 const std::string& iconFile) {
    const size_t cut = name.find_last_of('\\');
    MenuEntry entry{
        .name = cut == std::string::npos ? name : name.substr(cut + 1), .target = target, .iconFile = iconFile};
    if (IsActorOrPlaylist(target)) {
        entry.open = MenuOpen::Launcher;
        entry.launcher = InstallDir() + "resource\\kobaltron";
        entry.categories = kActorCategories;
    }
    WriteShortcut(folderId, name, entry);
}

void AssociationsAndShortcuts::WriteShortcut(int32_t folderId, const std::string& name, MenuEntry entry) {
    const std::string& target = entry.target;
    const std::string& iconFile = entry.iconFile;
    const std::string path = cspecialfolders(ctx_.folders).GetSpecialFolder(folderId) + name + ".url";
    const std::string native = NativePathForCreate(path);
    const std::string content =
        "[InternetShortcut]\r\nURL=" + target + "\r\nIconIndex=0\r\nIconFile=" + iconFile + "\r\n";
    std::FILE* f = std::fopen(native.c_str(), "wb");
    if (!f) throw FileSystemError(errno, native);
    const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written) throw FileSystemError(written ? errno : err, native);

    if (ctx_.desktop) ctx_.desktop->WriteMenuEntry(native, entry);
}

}  // namespace kobal::shell
