#pragma once
// The other programs' windows for the actor to stand on, kept from the
// window manager's stacking list (_NET_CLIENT_LIST_STACKING, whose changes
// the root window tells) and from the events of each listed window's frame
// (the client's ancestor below the root): it moves, maps, unmaps or goes. A
// frame that only moved is shifted in the cache without asking the server;
// anything else reads the list again, all of its requests sent before the
// first reply is awaited. Events are gathered for a moment, so that a drag's
// many moves cost one update.
//
// Only the listed frames are heard, not every child of the root: other
// actors are framed windows too, and would wake this one at each of their
// steps. The list has an X connection of its own, which leaves Qt's event
// masks alone (the fullscreen watch changes those of other programs'
// windows) and keeps Qt from folding one frame's ConfigureNotify into
// another's.
#include <xcb/xcb.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "actor/ports.h"

namespace kobal::actor::qt {

class WindowList : public WindowsPort {
  public:
    // Twips per device pixel, across and down.
    using Scale = std::function<std::pair<double, double>()>;

    // changed: the list is not what it was, after an update the events
    // called for. onX false (a session without X): the list stays empty.
    WindowList(std::function<void()> changed, Scale scale, bool onX);
    ~WindowList() override;
    WindowList(const WindowList&) = delete;
    WindowList& operator=(const WindowList&) = delete;

    const std::vector<FloorWindow>& Windows() override { return windows_; }

    // Starts or stops hearing of the windows. Starting reads the list at
    // once; true when that changed it. Stopping keeps the last list.
    bool Listen(bool on);
    bool listening() const { return listening_; }
    // Forgets every window; true when there were some.
    bool Clear();

  private:
    // A listed window: its outermost frame (the root's child) and what of it shows.
    struct Entry {
        uint32_t client = 0, frame = 0;
        int frameX = 0, frameY = 0, frameWidth = 0, frameHeight = 0;
        int left = 0, top = 0, width = 0, height = 0;  // device pixels, from the frame's corner
        bool floor = true;
    };
    bool Connect();
    void SelectRootEvents(bool on);
    // Hears the frames of the windows now in the list, and no longer those gone from it.
    void SelectFrames(const std::vector<uint32_t>& frames);
    // Takes every event the connection holds; fromSocket: read the socket too.
    void Drain(bool fromSocket);
    void Handle(const xcb_generic_event_t* event);
    // Applies what the events since the last update said; true when the list changed.
    bool Update();
    void Read();
    bool Rebuild();

    std::function<void()> changed_;
    Scale scale_;
    bool onX_ = false;
    xcb_connection_t* c_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool listening_ = false;
    bool wholeRead_ = false;     // something other than a move happened
    bool stackingList_ = false;  // the window manager keeps one
    uint32_t root_ = 0;
    uint32_t atomStacking_ = 0, atomType_ = 0, atomDock_ = 0, atomDesktop_ = 0, atomState_ = 0, atomHidden_ = 0,
             atomFullscreen_ = 0, atomFrameExtents_ = 0, atomGtkExtents_ = 0;
    std::vector<Entry> entries_;
    std::vector<uint32_t> heard_;  // frames whose events this connection asked for
    std::vector<FloorWindow> windows_;
    QTimer pending_;
};

}  // namespace kobal::actor::qt
