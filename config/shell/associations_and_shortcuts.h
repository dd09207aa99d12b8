#pragma once
// The shell integration that kobalconfig and install share (formerly
// Module1): it registers the actor and playlist file types, writes the
// product's Start-menu shortcuts and adds single actors and playlists to the
// Start menu. The platform is reached only through the ports below; DesktopShell
// (desktop_shell.h) bundles the real ones of a Linux desktop.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/install_path.h"
#include "common/message_box.h"
#include "common/settings.h"
#include "config/ports.h"

namespace kobal::shell {

// The Start menu's Programs folder of the current user.
constexpr int32_t CSIDL_PROGRAMS = 2;

// One file type as RegisterFileType writes it.
struct FileTypeInfo {
    std::vector<std::string> Verbs;     // "Open", "Install", ...
    std::vector<std::string> Commands;  // command line of the verb at the same position
    std::string Extension;              // ".KACT"; a missing dot is added here
    std::string TypeName;               // "Kactor"
    std::string Description;            // "KobalTron Actor"
    std::string ContentType;            // empty writes none
    std::string IconPath;
    int16_t IconIndex = 0;
};

// The registry below HKEY_CLASSES_ROOT. Keys are "\"-separated paths such as
// "Kactor\Shell\Open\Command", compared without regard to letter case.
// A write that fails returns false and puts the cause in `reason`.
class RegistryPort {
  public:
    virtual ~RegistryPort() = default;
    // Creates the key (and its parents) or opens it when it exists.
    virtual bool CreateKey(const std::string& key, std::string& reason) = 0;
    // A string value; the empty name is the key's default value.
    virtual bool SetValue(const std::string& key, const std::string& name, const std::string& value,
                          std::string& reason) = 0;
};

// Where the platform keeps a special folder (a file-system path, no
// trailing separator needed), or nothing when it cannot be found.
class SpecialFolderLookup {
  public:
    virtual ~SpecialFolderLookup() = default;
    virtual std::optional<std::string> FolderPath(int32_t folderId) = 0;
};

class cspecialfolders {
  public:
    explicit cspecialfolders(SpecialFolderLookup& lookup) : lookup_(lookup) {}
    // The folder's path ending in "\", or "" when it cannot be found.
    std::string GetSpecialFolder(int32_t folderId) const;

  private:
    SpecialFolderLookup& lookup_;
};

// How a menu entry opens its shortcut's target. What the target is for
// decides, never its mode: an actor file that has its execute bit (as files
// from removable media often do) is still only read by the launcher.
enum class MenuOpen {
    Program,   // one of the product's programs: it runs, in the install directory
    Document,  // opens with the desktop's own application for its type
    Launcher,  // an actor file or playlist: the launcher opens it
};

struct MenuEntry {
    std::string name{};
    std::string target{};  // as the shortcut holds it: a path or a "file:///" address
    std::string iconFile{};
    MenuOpen open = MenuOpen::Document;
    std::string launcher{};    // MenuOpen::Launcher: the launcher program
    std::string categories{};  // the menu's categories, "Game;Amusement;"; empty: none
    // Desktop id of an entry that an installed package may already offer
    // for the same program; none is written beside it then.
    std::string systemEntry{};
};

// What the desktop needs besides the registry so that file managers and the
// application menu follow it.
class DesktopPort {
  public:
    virtual ~DesktopPort() = default;
    // Mime type, one desktop entry per verb, default application. Returns
    // what could not be written, each as "file: cause"; empty when all went well.
    virtual std::vector<std::string> RegisterFileType(const FileTypeInfo& info) = 0;
    // Runs the desktop's cache tools after the file types are written; a
    // missing tool is not a failure. Returns failures as above.
    virtual std::vector<std::string> RefreshCaches() = 0;
    // The menu entry beside a written shortcut (native path of the ".url"
    // file). Raises the run-time error naming the file when it cannot be written.
    virtual void WriteMenuEntry(const std::string& shortcutFile, const MenuEntry& entry) = 0;
};

struct ShellContext {
    MessageBoxPort& boxes;
    InstallPathStore& installPath;
    std::string defaultInstallPath;  // used when the install path setting is missing
    RegistryPort& registry;
    SpecialFolderLookup& folders;
    DesktopPort* desktop;      // may be null: registry and .url files only
    SettingStore& settings;    // AddToStartMenu overwrites its actor keys
    std::string programTitle;  // "Kobalconfig" or "Install"
};

class AssociationsAndShortcuts : public config::ShellIntegration {
  public:
    explicit AssociationsAndShortcuts(ShellContext context);

    void RegisterFileAssociations() override;
    void CreateStartMenuShortcuts() override;
    void AddToStartMenu(const std::string& fileName) override;

    // Returns the keys and files that could not be written, each with its cause.
    std::vector<std::string> RegisterFileType(FileTypeInfo& info);
    // The menu entry beside it opens an actor file or playlist with the
    // launcher and anything else as a document.
    void WriteShortcutFile(int32_t folderId, const std::string& name, const std::string& target,
                           const std::string& iconFile);

  private:
    void WriteShortcut(int32_t folderId, const std::string& name, MenuEntry entry);
    std::string InstallDir() const;
    bool ApplicationPresent(const std::string& installdir) const;
    std::string ProgramsFolder() const;

    ShellContext ctx_;
};

// The two file types the product registers (actor files and playlists),
// their icons and commands below installdir.
std::vector<FileTypeInfo> ProductFileTypes(const std::string& installdir);

// The desktop ids of the entries a system-wide install of the package has.
inline constexpr const char* kSystemConfigEntry = "org.kobaltron.Kobalconfig.desktop";

// True for the endings of actor files and playlists (".kact", ".kac",
// ".kpls", ".kpl", any letter case).
bool IsActorOrPlaylist(const std::string& fileName);

// "file:///" + the path with every "\" made "/"; nothing else changes.
std::string PathToFileUrl(const std::string& path);

}  // namespace kobal::shell
