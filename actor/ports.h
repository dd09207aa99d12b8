#pragma once
// What the actor program needs of the desktop. The logic declares these
// ports; the Qt adapters implement each once, the tests fake them.
#include <cstdint>
#include <string>
#include <vector>

namespace kobal::actor {

// The actor window (form `Actor`). Sizes and positions are twips.
class ActorWindowPort {
  public:
    virtual ~ActorWindowPort() = default;
    virtual void SetSize(int32_t widthTwips, int32_t heightTwips) = 0;
    virtual void Move(int32_t leftTwips, int32_t topTwips) = 0;
    // Loads the picture and makes it the window's picture, drawn unscaled at
    // the top-left corner. Raises File not found / Invalid picture. Until a
    // key colour is set for it, the whole rectangle shows.
    virtual void SetPicture(const std::string& path) = 0;
    // KeyColor of the transparent-window component: red + 256 green + 65536 blue.
    virtual void SetKeyColor(int32_t keyColor) = 0;
    virtual void Repaint() = 0;
    virtual void SetIcon(const std::string& path) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Raise and activate (SetForegroundWindow).
    virtual void BringToFront() = 0;
    // Clicks go through the window to whatever lies below it.
    virtual void SetClickThrough(bool) {}
};

// One monitor of the virtual desktop, in twips from the desktop's origin.
struct ScreenRect {
    double left = 0, top = 0, width = 0, height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

// The platform's screen object. Width and Height are the primary screen's;
// the monitors make up the whole desktop, the primary one first.
class ScreenPort {
  public:
    virtual ~ScreenPort() = default;
    virtual double Width() = 0;   // twips
    virtual double Height() = 0;  // twips
    virtual double TwipsPerPixelX() = 0;
    virtual double TwipsPerPixelY() = 0;
    // Called on every step of the behaviours: no allocation, no server request.
    virtual int MonitorCount() { return 1; }
    virtual ScreenRect Monitor(int) { return {0, 0, Width(), Height()}; }
};

// Another program's window, in twips from the desktop's origin, as the
// window manager frames it (title bar included).
struct FloorWindow {
    uint32_t id = 0;
    double left = 0, top = 0, width = 0, height = 0;
    // False for windows that hide what lies under them but never carry an
    // actor (fullscreen windows).
    bool floor = true;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

// The shown windows of other programs, kept by the adapter from the window
// manager's stacking list and geometry events. Never listed: docks and
// panels, the desktop window, minimised windows, actor windows, the About
// window and the splash.
class WindowsPort {
  public:
    virtual ~WindowsPort() = default;
    // Bottom of the stack first. Called on every step: no allocation, no
    // server request.
    virtual const std::vector<FloorWindow>& Windows() = 0;
};

// A timer control: an interval of 0 stops it from ticking, as the classic
// timer did.
class TimerPort {
  public:
    virtual ~TimerPort() = default;
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

class TrayPort {
  public:
    virtual ~TrayPort() = default;
    virtual void Add(const std::string& iconPath, const std::string& tip) = 0;
    virtual void Remove() = 0;
};

// Items of the popup menu `taskpopup` that carry check marks.
enum class MenuItem { pActivated, pBored, psleep, phyber, Paudioon, paudiooff, pclickthrough };

class MenuPort {
  public:
    virtual ~MenuPort() = default;
    virtual void SetChecked(MenuItem item, bool checked) = 0;
    // Pops up `taskpopup` at the pointer and returns when it has closed.
    virtual void Popup() = 0;
};

class SoundPort {
  public:
    virtual ~SoundPort() = default;
    // Asynchronous; a new sound cuts off the one playing; a missing file is silent.
    virtual void Play(const std::string& path) = 0;
};

// The desktop's default handler for documents (the help page).
class DesktopPort {
  public:
    virtual ~DesktopPort() = default;
    virtual void OpenDocument(const std::string& path) = 0;
};

// The link between actors: a hub serves the group address, members hold a
// link to it. Every text set or poked reaches every other actor once.
class LinkPort {
  public:
    virtual ~LinkPort() = default;
    // Opens a link to the actor serving the group; false when nobody serves
    // (never links to itself).
    virtual bool OpenLink() = 0;
    virtual void CloseLink() = 0;
    // The window's own link mode: serve the group (hub) or not.
    virtual void Serve(bool serve) = 0;
    // False when serving was asked for but could not be set up yet (another
    // actor was taking the name at that moment).
    virtual bool ServesGroup() const { return true; }
    // Sets `DDEline`'s text; in the hub this sends it to every member.
    virtual void SetItemText(const std::string& text) = 0;
    // Pushes the text into the hub's item; false when the hub has gone.
    virtual bool Poke(const std::string& text) = 0;
};

}  // namespace kobal::actor
