#pragma once
// The user's hands on the actor: the mouse on its window, the tray icon,
// the sound and click-through items of the menu, and a fullscreen window
// that the actor keeps out of the way of.
#include <cstdint>

#include "actor/activity.h"
#include "actor/player.h"
#include "actor/ports.h"
#include "actor/position.h"
#include "common/settings.h"

namespace kobal::actor {

class Interaction {
  public:
    Interaction(SettingStore& settings, Position& position, Activity& activity, Player& player, ActorWindowPort& window,
                MenuPort& menu);

    // Twips relative to the window; buttons 1 left, 2 right, 4 middle.
    void MouseDown(int button, double x, double y);   // classic Form_MouseDown
    void MouseMove(int buttons, double x, double y);  // classic Form_MouseMove
    void TrayDoubleClick();
    void TrayContextMenu();
    void Paudioon_Click();
    void paudiooff_Click();
    // The sound items as the audioon setting says.
    void ShowAudioChecks();
    // Click-through mode: the pointer reaches what lies below the actor;
    // only the tray menu turns it off again.
    void pclickthrough_Click();
    // The active window became fullscreen, or stopped being: with
    // hidefullscreen 1 the actor stays out of its way until then.
    void FullscreenChanged(bool active);

    bool clickThrough() const { return clickthrough_; }
    bool hiddenForFullscreen() const { return hiddenforfullscreen_; }

  private:
    SettingStore& settings_;
    Position& position_;
    Activity& activity_;
    Player& player_;
    ActorWindowPort& window_;
    MenuPort& menu_;
    // Where the pointer grabbed the window.
    int32_t dragx_ = 0;
    int32_t dragy_ = 0;
    bool traybusy_ = false;
    bool clickthrough_ = false;
    bool hiddenforfullscreen_ = false;
};

}  // namespace kobal::actor
