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
    explicit Remover(UninstallContext& c) : c_(c) {}

    void File(const std::string& path) {
        std::error_code ec;
        if (fs::remove(path, ec) || !ec) return;
        failures.push_back(path + ": " + ec.message());
    }
    // Only an empty directory goes: what a user put there stays.
    void DirectoryIfEmpty(const std::string& path) {
        std::error_code ec;
        if (fs::is_directory(path, ec) && fs::is_empty(path, ec)) fs::remove(path, ec);
    }
    void Fail(const std::string& what) { failures.push_back(what); }

    // A menu entry is its ".url" shortcut and the ".desktop" entry beside it.
    void MenuEntry(const std::string& urlFile) {
        File(urlFile);
        File(urlFile.substr(0, urlFile.size() - 4) + ".desktop");
    }

    std::vector<std::string> failures;

  private:
    UninstallContext& c_;
};

std::string ProgramsFolder(const UninstallContext& c) {
    return c.dataHome + "/applications";
}

void RemoveShortcuts(UninstallContext& c, Remover& r) {
    const std::string folder = ProgramsFolder(c) + "/Kobaltron";
    r.MenuEntry(folder + "/Congigure Kobaltron.url");
    r.MenuEntry(folder + "/Help.url");
}

// AddToStartMenu names the shortcut after the actor, so it is found by its target.
void RemoveMenuEntryFor(UninstallContext& c, Remover& r, const std::string& file) {
    const std::string url = PathToFileUrl(file);
    for (const std::string& folder : {ProgramsFolder(c), ProgramsFolder(c) + "/Kobaltron/Actors"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const std::string path = entry.path().string();
            if (!entry.is_regular_file() || path.size() < 4 ||
                LowerCase(path.substr(path.size() - 4)) != ".url")
                continue;
            std::istringstream lines(ReadAll(path));
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line == "URL=" + url) {
                    r.MenuEntry(path);
                    break;
                }
            }
        }
    }
}

void RemoveFileTypes(UninstallContext& c, Remover& r) {
    std::vector<std::string> ids;
    for (const auto& type : kTypes) {
        for (const char* key : {type[0], type[1]}) {
            std::string reason;
            if (!c.registry.RemoveKey(key, reason)) r.Fail(c.registry.file() + ": " + reason);
        }
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
        }
    }
    // An empty registry file is one of ours that holds nothing any more.
    if (c.registry.Read().keys().empty()) r.File(c.registry.file());
    if (fs::is_directory(c.dataHome + "/mime"))
        c.runner.Run({"update-mime-database", c.dataHome + "/mime"});
    if (fs::is_directory(ProgramsFolder(c)))
        c.runner.Run({"update-desktop-database", ProgramsFolder(c)});
}

}  // namespace

std::string WithoutDesktopIds(const std::string& mimeApps,
                              const std::vector<std::string>& desktopIds) {
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
            if (std::find(desktopIds.begin(), desktopIds.end(), TrimBlanks(id)) !=
                desktopIds.end()) {
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
    if (!fs::exists(manifestFile)) {
        c.boxes.ShowMessage("Nothing to uninstall: " + manifestFile +
                                " not found (only what the installer put in place can be removed)",
                            kTitle);
        return 1;
    }
    const Manifest manifest = Manifest::Parse(ReadAll(manifestFile));
    if (!c.boxes.AskYesNo("Remove Kobaltron from " + installPath +
                              ", with its menu entries and file associations?",
                          "?"))
        return 0;

    Remover r(c);
    for (const std::string& registration : manifest.registrations) {
        if (registration == kRegisterFileTypes)
            RemoveFileTypes(c, r);
        else if (registration == kRegisterShortcuts)
            RemoveShortcuts(c, r);
        else if (registration.rfind(kRegisterMenuEntry, 0) == 0)
            RemoveMenuEntryFor(c, r, registration.substr(std::string(kRegisterMenuEntry).size()));
    }
    r.DirectoryIfEmpty(ProgramsFolder(c) + "/Kobaltron/Actors");
    r.DirectoryIfEmpty(ProgramsFolder(c) + "/Kobaltron");
    // The login choice runs this product's launcher, which is going.
    if (c.autostart.Current() && !c.autostart.Remove()) r.Fail(c.autostart.EntryPath());

    for (auto f = manifest.files.rbegin(); f != manifest.files.rend(); ++f)
        r.File(ResolvePath(installdir + *f));
    r.File(manifestFile);
    for (auto d = manifest.directories.rbegin(); d != manifest.directories.rend(); ++d)
        r.DirectoryIfEmpty(ResolvePath(installdir + *d));

    // The setting last: a run that fails before can be started again.
    if (r.failures.empty() &&
        std::find(manifest.registrations.begin(), manifest.registrations.end(),
                  std::string(kRegisterInstallPath)) != manifest.registrations.end() &&
        ReadInstallPath(c.installPath, "") == installPath)
        c.clearInstallPath();

    if (!r.failures.empty()) {
        std::string text = "Kobaltron could not be removed completely:";
        for (const std::string& f : r.failures) text += "\n" + f;
        c.boxes.ShowMessage(text, kTitle);
        return 1;
    }
    c.boxes.ShowMessage("Kobaltron has been removed", kTitle);
    return 0;
}

}  // namespace kobal::shell
