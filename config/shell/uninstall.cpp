#include "config/shell/uninstall.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/text.h"
#include "config/shell/manifest.h"

namespace kobal::shell {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "!";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The two file types and their verbs, as RegisterFileAssociations makes them.
const char* const kTypes[][2] = {{".KACT", "Kactor"}, {".KPLS", "Kplaylist"}};
const char* const kVerbs[] = {"Open", "Install"};

class Remover {
  public:
    // Each file that goes is named in the closing message.
    void File(const std::string& path) {
        std::error_code ec;
        if (fs::remove(path, ec)) {
            removed.push_back(path);
            return;
        }
        if (ec) failures.push_back(path + ": " + ec.message());
    }
    // Only an empty directory goes: what a user put there stays.
    void DirectoryIfEmpty(const std::string& path) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(path, ec)) && fs::is_empty(path, ec)) fs::remove(path, ec);
    }
    // A folder that only the programs write, with all it holds; a link to
    // one goes as a link, never what it leads to.
    void Tree(const std::string& path) {
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (ec || !fs::exists(st)) return;
        if (!fs::is_directory(st)) return File(path);
        std::vector<std::string> entries;
        for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(it->path().string());
        if (ec) failures.push_back(path + ": " + ec.message());
        // Deepest first, so each folder is empty when its turn comes.
        std::sort(entries.rbegin(), entries.rend());
        for (const std::string& e : entries) {
            if (fs::is_directory(fs::symlink_status(e, ec))) {
                if (!fs::remove(e, ec) && ec) failures.push_back(e + ": " + ec.message());
            } else {
                File(e);
            }
        }
        if (!fs::remove(path, ec) && ec) failures.push_back(path + ": " + ec.message());
    }
    void Fail(const std::string& what) { failures.push_back(what); }

    // A menu entry is its ".url" shortcut and the ".desktop" entry beside it.
    void MenuEntry(const std::string& urlFile) {
        File(urlFile);
        File(urlFile.substr(0, urlFile.size() - 4) + ".desktop");
    }

    std::vector<std::string> removed;
    std::vector<std::string> failures;
};

std::string ProgramsFolder(const UninstallContext& c) {
    return c.dataHome + "/applications";
}

void RemoveShortcuts(UninstallContext& c, Remover& r) {
    const std::string folder = ProgramsFolder(c) + "/Kobaltron";
    r.MenuEntry(folder + "/Congigure Kobaltron.url");
    r.MenuEntry(folder + "/Help.url");
}

// AddToStartMenu names a shortcut after its actor, so the shortcuts of actor
// files and playlists are known by their target, wherever that file is.
void RemoveActorEntries(UninstallContext& c, Remover& r) {
    for (const std::string& folder : {ProgramsFolder(c), ProgramsFolder(c) + "/Kobaltron/Actors"}) {
        std::error_code ec;
        std::vector<std::string> ours;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string path = entry.path().string();
            if (!entry.is_regular_file() || path.size() < 4 || LowerCase(path.substr(path.size() - 4)) != ".url")
                continue;
            std::istringstream lines(ReadAll(path));
            std::string line;
            std::getline(lines, line);
            if (TrimBlanks(line.substr(0, line.find('\r'))) != "[InternetShortcut]") continue;
            while (std::getline(lines, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.rfind("URL=", 0) == 0) {
                    if (IsActorOrPlaylist(line)) ours.push_back(path);
                    break;
                }
            }
        }
        for (const std::string& path : ours) r.MenuEntry(path);
    }
}

void RemoveFileTypes(UninstallContext& c, Remover& r) {
    std::vector<std::string> ids;
    for (const auto& type : kTypes) {
        r.File(c.dataHome + "/mime/packages/kobaltron-" + LowerCase(type[1]) + ".xml");
        for (const char* verb : kVerbs) {
            ids.push_back(VerbDesktopId(type[1], verb));
            r.File(ProgramsFolder(c) + "/" + ids.back());
        }
    }
    const std::string list = c.configHome + "/mimeapps.list";
    if (fs::exists(list)) {
        const std::string text = ReadAll(list);
        const std::string kept = WithoutDesktopIds(text, ids);
        if (kept != text) {
            std::ofstream out(list, std::ios::binary | std::ios::trunc);
            out << kept;
            if (!out.flush()) r.Fail(list + ": cannot be written");
            else r.removed.push_back(list + ": the defaults for actor files and playlists");
        }
    }
    // The registry file holds nothing but the product's file types.
    r.File(c.registry.file());
}

void RefreshCaches(UninstallContext& c) {
    if (fs::is_directory(c.dataHome + "/mime/packages")) c.runner.Run({"update-mime-database", c.dataHome + "/mime"});
    if (fs::is_directory(ProgramsFolder(c))) c.runner.Run({"update-desktop-database", ProgramsFolder(c)});
}

}  // namespace

std::string WithoutDesktopIds(const std::string& mimeApps, const std::vector<std::string>& desktopIds) {
    // One group at a time: a group that loses its last association to the
    // removal goes with it (the install made it), any other stays as it was.
    std::string out, group;
    bool groupRemoved = false, groupKept = false;
    auto flush = [&] {
        if (!groupRemoved || groupKept) out += group;
        group.clear();
        groupRemoved = groupKept = false;
    };
    std::istringstream in(mimeApps);
    for (std::string line; std::getline(in, line);) {
        const std::string trimmed = TrimBlanks(line);
        if (trimmed.rfind('[', 0) == 0) {
            flush();
            group += line + "\n";
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || trimmed.rfind('#', 0) == 0) {
            group += line + "\n";
            continue;
        }
        std::string value = line.substr(eq + 1);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        std::string kept;
        bool removed = false;
        std::istringstream items(value);
        for (std::string id; std::getline(items, id, ';');) {
            if (id.empty()) continue;
            if (std::find(desktopIds.begin(), desktopIds.end(), TrimBlanks(id)) != desktopIds.end()) {
                removed = true;
                continue;
            }
            kept += id + ";";
        }
        groupRemoved = groupRemoved || removed;
        if (!removed) {
            group += line + "\n";
            groupKept = true;
        } else if (!kept.empty()) {
            group += line.substr(0, eq + 1) + kept + "\n";
            groupKept = true;
        }
    }
    flush();
    // The blank line that stood before a group that went.
    while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0 && mimeApps.size() >= 2 &&
           mimeApps.compare(mimeApps.size() - 2, 2, "\n\n") != 0)
        out.pop_back();
    return out;
}

int Uninstall(UninstallContext& c) {
    const std::string installPath = ReadInstallPath(c.installPath, c.defaultInstallPath);
    const std::string installdir = ResolvePath(NativePath(installPath)) + "/";
    const std::string manifestFile = installdir + kManifestName;
    // Without the installer's record (a packaged install, or none) the
    // program files stay, and only what the programs wrote for this user goes.
    const bool installed = fs::exists(manifestFile);
    const Manifest manifest = installed ? Manifest::Parse(ReadAll(manifestFile)) : Manifest{};
    const std::string question =
        installed
            ? "Remove Kobaltron from " + installPath + ", with its menu entries, file associations and your settings?"
            : "Remove Kobaltron's menu entries, file associations, login entry and settings "
              "of this "
              "user? The programs stay (remove a package with the package manager); your own "
              "actors stay.";
    if (!c.boxes.AskYesNo(question, "?")) return 0;

    Remover r;
    RemoveFileTypes(c, r);
    RemoveShortcuts(c, r);
    RemoveActorEntries(c, r);
    r.DirectoryIfEmpty(ProgramsFolder(c) + "/Kobaltron/Actors");
    r.DirectoryIfEmpty(ProgramsFolder(c) + "/Kobaltron");
    RefreshCaches(c);
    // The login choice runs this product's launcher, which is going.
    if (c.autostart.Current()) {
        if (c.autostart.Remove()) r.removed.push_back(c.autostart.EntryPath());
        else r.Fail(c.autostart.EntryPath());
    }

    for (auto f = manifest.files.rbegin(); f != manifest.files.rend(); ++f) r.File(ResolvePath(installdir + *f));
    if (installed) r.File(manifestFile);
    for (auto d = manifest.directories.rbegin(); d != manifest.directories.rend(); ++d)
        r.DirectoryIfEmpty(ResolvePath(installdir + *d));

    // Settings last (the install path setting among them): a run that
    // fails before can be started again and finds the same product.
    if (r.failures.empty()) {
        r.Tree(c.configHome + "/kobaltron");
        // A setting kept anywhere else goes on its own.
        if (r.failures.empty() && c.installPath.ReadApplicationPath()) c.clearInstallPath();
    }

    if (!r.failures.empty()) {
        std::string text = "Kobaltron could not be removed completely:";
        for (const std::string& f : r.failures) text += "\n" + f;
        c.boxes.ShowMessage(text, kTitle);
        return 1;
    }
    if (!installed && r.removed.empty()) {
        c.boxes.ShowMessage(
            "Nothing to uninstall: no menu entries, file types, login entry or settings of "
            "Kobaltron were found for this user",
            kTitle);
        return 0;
    }
    std::string text =
        installed ? "Kobaltron has been removed" : "Kobaltron's entries and settings of this user have been removed";
    text += "\nRemoved:";
    for (const std::string& f : r.removed) text += "\n" + f;
    c.boxes.ShowMessage(text, kTitle);
    return 0;
}

}  // namespace kobal::shell
