#pragma once
// What the configuration tool needs of the outside world beyond the install
// path store and message boxes (common/): the shell integration, the input
// box and the wizard's dialog.
#include <string>

namespace kobal::config {

struct WizardBox;

// File associations and Start-menu entries, carried out by the shell
// integration library.
class ShellIntegration {
  public:
    virtual ~ShellIntegration() = default;
    virtual void RegisterFileAssociations() = 0;
    virtual void CreateStartMenuShortcuts() = 0;
    // Ends the program itself when the product or the file cannot be found.
    virtual void AddToStartMenu(const std::string& fileName) = 0;
};

class InputBoxPort {
  public:
    virtual ~InputBoxPort() = default;
    // The entered text, or an empty text when the box is cancelled.
    virtual std::string InputBox(const std::string& prompt, const std::string& title,
                                 const std::string& proposed) = 0;
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

}  // namespace kobal::config
