#include "config/config_window.h"

#include <cmath>
#include <filesystem>
#include <limits>

#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::config {
namespace {

constexpr const char* kProgramFile = "\\resource\\kobalactor";
constexpr const char* kSettingsFile = "\\resource\\config.kcfg";
constexpr const char* kWizardPicture = "\\resource\\wizard.gif";
constexpr char CR = '\r';

// The leading number of a typed entry. A number too large for a double
// (such as 1E999) counts as infinitely large with its sign, so that range
// checks and limits treat it as out of range instead of failing.
double TypedNumber(const std::string& text) {
    try {
        return LeadingNumber(text);
    } catch (const RuntimeError&) {
        for (char c : text) {
            if (c == ' ' || c == '\t' || c == '\n') continue;
            return c == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
        }
        return 0;
    }
}

// One row of the input checks for a text box.
void CheckText(TextBox& box, double low, double high, const std::string& fallback) {
    const double value = TypedNumber(box.text);
    if (value < low || value > high) box.text = fallback;
}

void CheckBoxRange(CheckBox& box, int fallback) {
    if (box.value < 0 || box.value > 1) box.value = fallback;
}

}  // namespace

std::string OwnSettingsNotice(const std::string& userFile, const std::string& installDirectory) {
    return "You cannot change the settings of every user in " + installDirectory + ". Your settings are saved in " +
           userFile + " and used in place of them.";
}

ConfigWindow::ConfigWindow(ConfigPorts ports, std::string defaultInstallPath, UserPlaces user)
    : ports_(ports), defaultInstallPath_(std::move(defaultInstallPath)), user_(std::move(user)) {
    initial.items.assign(std::begin(kStartStates), std::end(kStartStates));
}

std::string ConfigWindow::ProductPath(const std::string& relative) const {
    return ResolvePath(apath.text + relative);
}

bool ConfigWindow::ProductFound() const {
    return FileExists(ProductPath(kProgramFile));
}

void ConfigWindow::Form_Load() {
    apath.text = ReadInstallPath(ports_.paths, defaultInstallPath_);
    if (ProductFound()) read_Click();
    else Reset_Click();
    if (ports_.login) {
        const auto file = ports_.login->Current();
        login = {file.has_value(), file.value_or("")};
        loginAtLoad_ = login;
    }
}

std::string ConfigWindow::SettingsFileToRead() const {
    if (!user_.settingsFile.empty() && FileExists(user_.settingsFile)) return ResolvePath(user_.settingsFile);
    return ProductPath(kSettingsFile);
}

void ConfigWindow::read_Click() {
    ReadSettingsFile(store_, SettingsFileToRead(), 1, LoopShape::Launcher);
    override.SetValue(store_.overrideactor);
    hyber.text = std::to_string(store_.hibernatetime);
    transp.SetValue(store_.transparencyoff);
    timerup.text = std::to_string(store_.priorityup);
    moveup.text = std::to_string(store_.speedup);
    audio.SetValue(store_.audioon);
    splash.SetValue(store_.showsplash);
    boreds.text = std::to_string(store_.boredtime);
    sleeps.text = std::to_string(store_.sleeptime);
    initial.SetListIndex(store_.initialpriority);
    // A file from before these keys leaves them off.
    hidefull.SetValue(store_.hidefullscreen);
    winfloors.SetValue(store_.windowfloors);
}

void ConfigWindow::Reset_Click() {
    const SettingsValues d = DefaultSettings();
    initial.SetListIndex(d.initialpriority);
    transp.value = d.transparencyoff;
    timerup.text = d.priorityup;
    moveup.text = d.speedup;
    override.value = d.overrideactor;
    hidefull.value = d.hidefullscreen;
    winfloors.value = d.windowfloors;
    audio.value = d.audioon;
    splash.value = d.showsplash;
    boreds.text = d.boredtime;
    sleeps.text = d.sleeptime;
    hyber.text = d.hibernatetime;
    // The next "Restore" shows these four for keys its file lacks.
    store_.audioon = static_cast<int16_t>(d.audioon);
    store_.showsplash = static_cast<int16_t>(d.showsplash);
    store_.priorityup = NumberSetting(d.priorityup);
    store_.speedup = NumberSetting(d.speedup);
}

SettingsValues ConfigWindow::Values() const {
    SettingsValues v;
    v.priorityup = timerup.text;
    v.speedup = moveup.text;
    v.audioon = audio.value;
    v.showsplash = splash.value;
    v.boredtime = boreds.text;
    v.sleeptime = sleeps.text;
    v.hibernatetime = hyber.text;
    v.initialpriority = initial.listIndex;
    v.transparencyoff = transp.value;
    v.overrideactor = override.value;
    v.hidefullscreen = hidefull.value;
    v.windowfloors = winfloors.value;
    return v;
}

std::string ConfigWindow::GlobalSettingsTarget() const {
    // The file may exist under another letter case; a new one goes into
    // the resource directory as it exists.
    std::string target = ProductPath(kSettingsFile);
    if (!FileExists(target)) target = ResolvePath(apath.text + "\\resource") + "/config.kcfg";
    return target;
}

void ConfigWindow::Save_Click() {
    if (!apath.text.empty() && apath.text.back() == '\\') apath.text.pop_back();
    validate();
    const std::string text = SettingsFileText(Values());

    // The settings go where the programs read them: the user's own file once
    // there is one, else the global file, unless this user cannot write in
    // its folder (an install made by the system's package manager).
    std::string target = GlobalSettingsTarget();
    bool firstOwn = false;
    if (!user_.settingsFile.empty()) {
        const std::string folder = ParentDirectory(target);
        if (FileExists(user_.settingsFile)) {
            target = ResolvePath(user_.settingsFile);
        } else if (DirectoryExists(folder) && !DirectoryWritable(folder)) {
            target = user_.settingsFile;
            firstOwn = true;
            std::error_code ec;
            std::filesystem::create_directories(ParentDirectory(target), ec);
        }
    }
    // The settings file first and the install path after it, so that a
    // failed save changes nothing.
    WriteFileReplacing(target, text);
    ports_.paths.WriteApplicationPath(apath.text);
    // The login entry goes with the other settings, only when it changed.
    if (ports_.login && login != loginAtLoad_) {
        if (login.checked && !login.file.empty()) ports_.login->Choose(login.file, InstallDirFrom(apath.text));
        else ports_.login->Remove();
    }
    if (firstOwn) ports_.boxes.ShowMessage(OwnSettingsNotice(target, NativePath(apath.text)), "!");
    ended_ = true;
}

void ConfigWindow::Exits_Click() {
    if (ports_.boxes.AskOkCancel(kExitQuestion, "?")) ended_ = true;
}

void ConfigWindow::Associate_Click() {
    ports_.shell.RegisterFileAssociations();
}

void ConfigWindow::shortcuts_Click() {
    ports_.shell.CreateStartMenuShortcuts();
}

void ConfigWindow::validate() {
    // Every fallback is the default, so "Default" and a replaced entry agree.
    const SettingsValues d = DefaultSettings();
    CheckBoxRange(transp, d.transparencyoff);
    CheckText(timerup, 0, 1000, d.priorityup);
    CheckText(moveup, 0, 1000, d.speedup);
    CheckBoxRange(audio, d.audioon);
    CheckBoxRange(splash, d.showsplash);
    CheckBoxRange(override, d.overrideactor);
    CheckBoxRange(hidefull, d.hidefullscreen);
    CheckBoxRange(winfloors, d.windowfloors);
    CheckText(boreds, 0, 30000, d.boredtime);
    CheckText(sleeps, 0, 30000, d.sleeptime);
    CheckText(hyber, 0, 30000, d.hibernatetime);
    if (initial.listIndex < 0 || initial.listIndex > 3) initial.SetListIndex(d.initialpriority);
}

std::optional<WizardValue> ConfigWindow::wizardinput(const std::string& mssg, const std::string& defaults, int typ) {
    if (typ < 0 || typ > 2) return WizardValue{};
    WizardBox& box = wizardbox_;
    if (!box.loaded) {
        // The dialog's load step, once while the tool runs.
        box.picturePath = ProductPath(kWizardPicture);
        if (!FileExists(box.picturePath)) throw RuntimeError(ErrorNumber::FileNotFound, box.picturePath);
        ports_.wizard.Load(box);
        box.loaded = true;
    }
    box.question = mssg;
    if (typ == 1) box.Textbox.text = defaults;
    if (typ == 2) box.Combobox.SetListIndex(RoundToInt16(TypedNumber(defaults)));
    box.textboxVisible = typ == 1;
    box.comboboxVisible = typ == 2;
    if (!ports_.wizard.ShowModal(box)) return std::nullopt;
    if (typ == 1) return WizardValue{box.wizardtext};
    if (typ == 2) return WizardValue{box.wizardchoice};
    return WizardValue{};
}

void ConfigWindow::Calibrate_Click() {
    while (!ProductFound()) {
        apath.text = ports_.input.InputBox(kFindProductPrompt, "?", apath.text);
        if (apath.text.empty()) {
            ended_ = true;
            return;
        }
    }

    const std::string welcome = std::string(
                                    "Welcome to the configuration Wizard, This will configure the "
                                    "advanced settings by asking you a few simple questions") +
                                CR + CR + "To begin please click OK" + CR;
    if (!wizardinput(welcome, "0", 0)) return;

    // Closing a question through the window frame leaves the wizard; what it
    // set before stays in the window.
    wizardbox_.Combobox.SetItems({"Smoother Motion", "Normal Motion", "Less Smooth Motion"});
    const auto smooth = wizardinput(std::string("How smooth do you want movement to be?") + CR + CR +
                                        "(Less smooth will reduce cpu usage, smoother will increase it)" + CR,
                                    "1", 2);
    if (!smooth) return;
    const int s = std::get<int16_t>(*smooth);

    wizardbox_.Combobox.SetItems({"Fast Movement", "Normal Movement", "Slow Movement"});
    const auto fast = wizardinput(std::string("How fast do you want the actor to move?") + CR, "1", 2);
    if (!fast) return;
    const int f = std::get<int16_t>(*fast);

    const double t = s == 0 ? 200 : s == 2 ? 50 : 100;
    const double m = f == 0 ? t / 2 : f == 2 ? t * 2 : t;
    timerup.text = NumberText(t);
    moveup.text = NumberText(m);

    const std::string sleepQuestion =
        std::string("How many minutes until the actor enters sleep mode?") + CR + CR + "suggested values:" + CR +
        "10= (10 minutes) If you want to watch it do it's thing" + CR + "6= (6 minutes) Will stay active for a while" +
        CR + "3= (3 minutes) Stays active for a short while" + CR + "1= (1 minute) Leaves you to get down to work" +
        CR + CR + "Or enter your own time delay in minutes!" + CR + CR +
        "(Time since actor was last left clicked upon)" + CR;
    const auto answer = wizardinput(sleepQuestion, "6", 1);
    if (!answer) return;
    double minutes = TypedNumber(std::get<std::string>(*answer));
    if (minutes < 0) minutes = 1;
    if (minutes > 60) minutes = 60;
    hyber.text = NumberText(minutes * 60 * 10);
    boreds.text = NumberText(minutes * 60 / 2);
    sleeps.text = NumberText(minutes * 60);

    wizardinput(std::string("The configuration has been completed!") + CR + CR +
                    "Click on OK to return to the configuration screen." + CR,
                "0", 0);
}

}  // namespace kobal::config
