#pragma once
// What the configuration tool needs of the outside world beyond the install
// path store and message boxes (common/): the shell integration, the input
// box and the wizard's dialog.
#include <optional>
#include <string>

namespace kobal::config {

struct WizardBox;

// File associations and Start-menu entries: what the configuration tool and
// the installer ask of the shell integration library (config/shell), which
// carries them out.
class ShellIntegration {
  public:
    virtual ~ShellIntegration() = default;
    virtual void RegisterFileAssociations() = 0;
    virtual void CreateStartMenuShortcuts() = 0;
    // Ends the program (throws ProgramEnd) when the product or the file is
    // missing; an actor file without its "[end]" line raises the run-time error.
    virtual void AddToStartMenu(const std::string& fileName) = 0;
};

class InputBoxPort {
  public:
    virtual ~InputBoxPort() = default;
    // The entered text, or an empty text when the box is cancelled.
    virtual std::string InputBox(const std::string& prompt, const std::string& title, const std::string& proposed) = 0;
};

// The dialog that shows a WizardBox.
class WizardDisplay {
  public:
    virtual ~WizardDisplay() = default;
    // The dialog's load step: shows the picture at box.picturePath (known to
    // exist). Raises Invalid picture for a file it cannot read.
    virtual void Load(WizardBox& box) = 0;
    // Shows the box modally. Its "Ok" copies the entries back into the box
    // and calls box.OK_Click(), then returns true; closing the dialog any
    // other way returns false.
    virtual bool ShowModal(WizardBox& box) = 0;
};

// "Start these actors when I log in": the desktop's login entry for one
// actor file or playlist.
class LoginEntry {
  public:
    virtual ~LoginEntry() = default;
    // The file the entry starts, or nothing when there is no entry.
    virtual std::optional<std::string> Current() = 0;
    // Writes the entry for file, started by the launcher below installdir
    // (with its trailing separator); says what is wrong when it cannot.
    virtual bool Choose(const std::string& file, const std::string& installdir) = 0;
    // Takes the entry away; says what is wrong when it cannot.
    virtual bool Remove() = 0;
};

}  // namespace kobal::config
