#pragma once
// The configuration window kobalconfigf as logic: its controls, the load
// step, the button handlers, the input checks and the calibration wizard.
// The Qt window shows the controls and calls the handlers; after each one it
// shows the controls again and closes when ended() is true.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "common/install_path.h"
#include "common/message_box.h"
#include "common/settings.h"
#include "common/user_places.h"
#include "config/controls.h"
#include "config/ports.h"
#include "config/settings_file.h"

namespace kobal::config {

// The wizard dialog wizardbox: its controls and the two answers kept from
// the last "Ok". It lives as long as the tool, so the list entries and the
// loaded picture survive between questions and runs.
struct WizardBox {
    std::string question;  // formerly Label1
    TextBox Textbox;
    DropDownList Combobox;
    bool textboxVisible = true;
    bool comboboxVisible = true;
    bool loaded = false;
    std::string picturePath;  // native path of the picture shown

    std::string wizardtext;
    int16_t wizardchoice = 0;

    void OK_Click() {
        wizardtext = Textbox.text;
        wizardchoice = static_cast<int16_t>(Combobox.listIndex);
    }
};

// wizardinput's answer: nothing (a message), the text, or the list position.
using WizardValue = std::variant<std::monostate, std::string, int16_t>;

struct ConfigPorts {
    InstallPathStore& paths;
    MessageBoxPort& boxes;
    ShellIntegration& shell;
    InputBoxPort& input;
    WizardDisplay& wizard;
    // Optional: without it the window offers no login choice.
    LoginEntry* login = nullptr;
};

// The login choice as the window shows it: checked with the file the entry
// is to start, or unchecked.
struct LoginChoice {
    bool checked = false;
    std::string file;
    bool operator==(const LoginChoice&) const = default;
};

// Texts the tool shows.
inline constexpr const char* kWindowTitle = "Kobaltron Configuration";
inline constexpr const char* kExitQuestion = "Exit without saving?";
// Shown once, when the settings first go to the user's own file.
std::string OwnSettingsNotice(const std::string& userFile, const std::string& installDirectory);
inline constexpr const char* kFindProductPrompt =
    "The application could not be found, before the wizard can start, please specify the path "
    "where the application is installed";
// What the text boxes hold until the load step fills them: the design's
// text, not a control's name.
inline constexpr const char* kTextBeforeLoad = "Text1";
inline const char* const kStartStates[4] = {"1:Activated", "2:Bored", "3:Sleep", "4:Hybernate"};

class ConfigWindow {
  public:
    // defaultInstallPath: used when the install path setting is missing.
    // user.settingsFile: the user's own settings file, read in place of the
    // global one when it exists and written when the global one cannot be.
    ConfigWindow(ConfigPorts ports, std::string defaultInstallPath, UserPlaces user = {});

    // The controls, as the window's design leaves them before the load step.
    TextBox apath{kTextBeforeLoad};
    DropDownList initial;
    CheckBox audio{1};
    CheckBox splash;
    CheckBox transp;
    CheckBox override;
    CheckBox hidefull;   // hidefullscreen: actors hide while a fullscreen window is active
    CheckBox winfloors;  // windowfloors: actors stand on the tops of other windows
    TextBox timerup{kTextBeforeLoad};
    TextBox moveup{kTextBeforeLoad};
    TextBox boreds{kTextBeforeLoad};
    TextBox sleeps{kTextBeforeLoad};
    TextBox hyber{kTextBeforeLoad};
    LoginChoice login;  // read at load, written by "OK" like the settings

    void Form_Load();
    void read_Click();   // "Restore"
    void Reset_Click();  // "Default"
    void Save_Click();   // "OK"
    void Exits_Click();  // "Cancel"
    void Associate_Click();
    void shortcuts_Click();
    void Calibrate_Click();  // "Wizard"

    // Puts every value control back into its allowed range.
    void validate();
    // typ 0 message, 1 text question, 2 choice question. Returns nothing when
    // the dialog was closed other than through "Ok".
    std::optional<WizardValue> wizardinput(const std::string& mssg, const std::string& defaults, int typ);

    // True once the tool is to end ("OK", "Cancel" confirmed, the wizard's
    // search for the product given up).
    bool ended() const { return ended_; }
    const SettingStore& store() const { return store_; }
    WizardBox& wizardbox() { return wizardbox_; }

    // apath followed by the given product file, as a native path.
    std::string ProductPath(const std::string& relative) const;
    // What "OK" would write now, before the input checks.
    SettingsValues Values() const;
    // The native path of the settings file that "Restore" reads.
    std::string SettingsFileToRead() const;

  private:
    bool ProductFound() const;
    std::string GlobalSettingsTarget() const;

    ConfigPorts ports_;
    std::string defaultInstallPath_;
    UserPlaces user_;
    SettingStore store_{SettingStore::Program::Config};
    WizardBox wizardbox_;
    bool ended_ = false;
    LoginChoice loginAtLoad_;
};

}  // namespace kobal::config
