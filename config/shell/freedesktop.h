#pragma once
// The freedesktop side of the shell integration: what makes file managers
// open actor files and playlists with the launcher, and the application
// menu show the Start-menu shortcuts.
#include <optional>
#include <string>
#include <vector>

#include "config/shell/associations_and_shortcuts.h"

namespace kobal::shell {

// $XDG_DATA_HOME (or ~/.local/share) and $XDG_CONFIG_HOME (or ~/.config);
// a relative value is ignored, as the base-directory rules say.
std::string XdgDataHome();
std::string XdgConfigHome();

// The Programs folder is $XDG_DATA_HOME/applications (created when missing);
// no other special folder exists here.
class XdgFolders : public SpecialFolderLookup {
  public:
    std::optional<std::string> FolderPath(int32_t folderId) override;
};

// Runs a program and waits for it. Nothing when the program is not installed.
class CommandRunner {
  public:
    virtual ~CommandRunner() = default;
    virtual std::optional<int> Run(const std::vector<std::string>& argv) = 0;
};

class PosixCommandRunner : public CommandRunner {
  public:
    std::optional<int> Run(const std::vector<std::string>& argv) override;
};

// The mime type that stands for a registered file type ("Kactor" gives
// "application/x-kactor"), and the desktop entry of its n-th verb.
std::string MimeTypeFor(const std::string& typeName);
std::string VerbDesktopId(const std::string& typeName, const std::string& verb);

// The shared-mime-info description of file types: one <mime-type> element,
// and a whole package (what the per-user registration writes for one type
// and the system-wide install for both).
std::string MimeTypeElement(const FileTypeInfo& info);
// The icon a file manager shows for the type ("application-x-kactor"), and
// a type's description as a desktop names it ("Kobaltron actor").
std::string MimeIconName(const std::string& typeName);
std::string DesktopDescription(const std::string& description);
std::string MimePackageXml(const std::vector<FileTypeInfo>& types);

// Splits a registry command ("prog path "%1"" or "prog path %1") into the
// program, which may hold blanks, and whether the file is passed.
struct VerbCommand {
    std::string program;
    bool passesFile = false;
};
VerbCommand SplitCommand(const std::string& command);

// One argument for a desktop entry's Exec key (quoted when it holds a
// reserved character), and a value escaped for any desktop-entry string key.
std::string QuoteExecArgument(const std::string& arg);
std::string EscapeDesktopValue(const std::string& value);

class Freedesktop : public DesktopPort {
  public:
    Freedesktop(std::string dataHome, std::string configHome, CommandRunner& runner);

    std::vector<std::string> RegisterFileType(const FileTypeInfo& info) override;
    std::vector<std::string> RefreshCaches() override;
    void WriteMenuEntry(const std::string& shortcutFile, const MenuEntry& entry) override;

    std::string MimePackageFile(const std::string& typeName) const;
    std::string ApplicationsDir() const { return dataHome_ + "/applications"; }
    std::string MimeAppsList() const { return configHome_ + "/mimeapps.list"; }

    // True when a directory of $XDG_DATA_DIRS has the desktop entry and it runs program.
    bool SystemHasEntry(const std::string& desktopId, const std::string& program) const;

  private:
    std::string dataHome_;
    std::string configHome_;
    CommandRunner& runner_;
};

// Sets mime's default application and puts the entries first among its
// added associations in a mimeapps.list text, keeping every other line.
std::string MergeMimeApps(const std::string& text, const std::string& mime, const std::vector<std::string>& desktopIds);

// The working directory a desktop entry gives a program: the install
// directory when the program lives in its "resource" directory.
std::string WorkingDirectoryFor(const std::string& program);

}  // namespace kobal::shell
