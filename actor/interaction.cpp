// The mouse on the actor window, the tray icon, the popup menu's sound,
// help, About and Remove items.
#include "actor/actor_runtime.h"
#include "common/line_reader.h"
#include "common/numbers.h"
#include "common/paths.h"

namespace kobal::actor {

static constexpr int16_t kHibernating = 32767;

void ActorRuntime::Form_MouseDown(int button, double x, double y) {
    if (button == 2) {
        dragy = RoundToInt32(y);
        dragx = RoundToInt32(x);
        if (idlecount == kHibernating) SetHibernation(0);
        idlecount = 0;
        statefile = settings.activefile;
    } else if (button == 4) {
        dragy = RoundToInt32(y);
        dragx = RoundToInt32(x);
    } else if (button == 1) {
        if (idlecount == kHibernating) SetHibernation(0);
        idlecount = 0;
        PlayRandomChoice(settings.responsefile);
        statefile = settings.activefile;
    }
}

void ActorRuntime::Form_MouseMove(int buttons, double x, double y) {
    // The tray reports its own events, so moves carry no tray messages here.
    if (buttons != 2 && buttons != 4) return;
    actorx = RoundToInt32(actorx - (dragx - x));
    actory = RoundToInt32(actory - (dragy - y));
    ports_.window->Move(actorx, actory);
}

void ActorRuntime::TrayDoubleClick() {
    if (traybusy) return;
    traybusy = true;
    ports_.window->BringToFront();
    traybusy = false;
}

void ActorRuntime::TrayContextMenu() {
    if (traybusy) return;
    traybusy = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{traybusy};
    ports_.window->BringToFront();
    ports_.menu->Popup();
}

void ActorRuntime::Paudioon_Click() {
    settings.audioon = 1;
    ports_.menu->SetChecked(MenuItem::Paudioon, true);
    ports_.menu->SetChecked(MenuItem::paudiooff, false);
}

void ActorRuntime::paudiooff_Click() {
    settings.audioon = 0;
    ports_.menu->SetChecked(MenuItem::Paudioon, false);
    ports_.menu->SetChecked(MenuItem::paudiooff, true);
}

void ActorRuntime::pclickthrough_Click() {
    clickthrough = !clickthrough;
    ports_.window->SetClickThrough(clickthrough);
    ports_.menu->SetChecked(MenuItem::pclickthrough, clickthrough);
}

void ActorRuntime::FullscreenChanged(bool active) {
    if (active && settings.hidefullscreen == 1 && !hiddenforfullscreen) {
        hiddenforfullscreen = true;
        ports_.window->Hide();
    } else if (!active && hiddenforfullscreen) {
        // Shown again even when the setting went off meanwhile (an actor switch).
        hiddenforfullscreen = false;
        ports_.window->Show();
    }
}

void ActorRuntime::Helpme_Click() {
    ports_.desktop->OpenDocument(HelpPagePath());
}

void ActorRuntime::Remove_Click() {
    EndActor();
}

static std::vector<std::string> ReadAllLines(const std::string& path) {
    std::vector<std::string> lines;
    LineReader reader(path);
    while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    return lines;
}

AboutLists ActorRuntime::LoadAboutLists() {
    AboutLists lists;
    const std::string info = installdir + "resource\\info.txt";
    if (FileExists(info)) {
        lists.List1 = ReadAllLines(info);
    } else {
        ports_.messages->ShowMessage(
            "Warning: The info.txt file could not be found, please check the appication path is correct "
            "and the program has been installed properly.",
            kProgramName);
    }
    const std::string actorinfo = settings.actorpath + settings.infofile;
    if (FileExists(actorinfo)) lists.List2 = ReadAllLines(actorinfo);
    else lists.List2.push_back(settings.actorname + ": No information Available");
    return lists;
}

}  // namespace kobal::actor
