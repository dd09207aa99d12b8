#pragma once
// The installer's window `Install` as logic: Form_Load fills it, and
// Install_Click (the "Install" button, formerly Command1_Click) copies what
// Install\Files.dat lists from the medium into the destination, then carries
// out Install\Commands.dat.
#include <string>
#include <vector>

#include "common/install_path.h"
#include "common/message_box.h"
#include "config/ports.h"
#include "config/shell/manifest.h"

namespace kobal::installer {

// The window's controls as the logic reads and fills them.
class InstallView {
  public:
    virtual ~InstallView() = default;
    virtual std::string Source() = 0;
    virtual void SetSource(const std::string& text) = 0;
    virtual std::string Dest() = 0;
    virtual void SetDest(const std::string& text) = 0;
    // SplashText: lines each followed by a carriage return.
    virtual void SetSplashText(const std::string& text) = 0;
    // msg, painted at once: the installation runs without yielding to events.
    virtual void SetMsg(const std::string& text) = 0;
    // Load a picture into SplashPic / SplashTitle; raise RuntimeError when it cannot.
    virtual void LoadSplashPic(const std::string& path) = 0;
    virtual void LoadSplashTitle(const std::string& path) = 0;
};

struct InstallContext {
    InstallView& view;
    MessageBoxPort& boxes;
    InstallPathStore& installPath;
    std::string defaultInstallPath;  // dest when the setting is missing
    config::ShellIntegration& shell;
    // Where what gets installed is put on record (for uninstalling); none keeps no record.
    shell::ManifestLog* manifest = nullptr;
};

enum class ClickResult {
    KeepOpen,  // "Source not found", or a destination that is the medium: the user may correct it
    Done,      // installed: the program ends
    Refused,   // the medium's lists lead outside the destination: nothing done, the program ends
};

class InstallForm {
  public:
    explicit InstallForm(InstallContext context) : ctx_(std::move(context)) {}

    // currentDirectory: the process's working directory.
    void Form_Load(const std::string& currentDirectory);
    // Raises RuntimeError for a failed copy, delete or folder; lets
    // ProgramEnd from AddToStartMenu through.
    ClickResult Install_Click();

  private:
    enum class Overwrite { NotAsked, All, AskEach };
    void CopyListLine(const std::string& line, const std::string& source, const std::string& dest, Overwrite& mode);
    void CommandLine(const std::string& line, const std::string& dest);
    void Record(const std::string& dest, const std::string& kind, const std::string& value);
    // The lines of both lists that would write or register outside dest
    // ("file, line N: text"), through "..", an absolute path or a link.
    std::vector<std::string> LinesLeadingOut(const std::string& source, const std::string& dest);
    bool OverwritesItsSource(const std::string& source, const std::string& dest);

    InstallContext ctx_;
};

// True when a copy-list line stays below the folder it is joined to: not
// absolute, no leading separator, no ".." part.
bool StaysInside(const std::string& line);

}  // namespace kobal::installer
