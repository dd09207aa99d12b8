// The animation player: animation files, random-choice lists and action
// command lines.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "actor/actor_runtime.h"
#include "actor/desktop.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::actor {

// Deep enough for any real chain of lists and commands, far below the
// thread's stack limit.
static constexpr int kMaxDepth = 200;

class DepthGuard {
  public:
    DepthGuard(ActorRuntime& rt, const std::string& what) : rt_(rt) {
        if (++rt_.depth_ > kMaxDepth) {
            --rt_.depth_;
            // The line that last led on is where an author can break the circle.
            if (!rt_.commandFile_.empty())
                throw RuntimeError(ErrorNumber::OutOfStackSpace, rt_.commandFile_, rt_.commandLine_,
                                   "animations, lists and commands call each other without showing a frame");
            throw RuntimeError(ErrorNumber::OutOfStackSpace, NativePath(rt_.settings.actorpath + what), 0,
                               "animations, lists and commands call each other without showing a frame");
        }
    }
    ~DepthGuard() { --rt_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    ActorRuntime& rt_;
};

static bool HasEnding(std::string_view name, std::string_view ending) {
    // Exact test of the last five characters, letter case included.
    return RightChars(name, 5) == ending;
}

void ActorRuntime::LoadAnimation(std::string& name) {
    DepthGuard guard(*this, name);
    if (!animfile.empty()) {
        if (parkChannels_ && channel2_) parked_.push_back(std::move(channel2_));
        channel2_.reset();
        if (name.empty()) name = animfile;
        else animfile = name;
    }
    if (animfile.empty()) animfile = name;

    if (HasEnding(name, ".krnd")) {
        PlayRandomChoice(name);
        return;
    }

    const int16_t oldwidth = settings.actorwidth;
    const int16_t oldheight = settings.actorheight;

    const std::string path = settings.actorpath + name;
    if (parkChannels_ && channel2_) parked_.push_back(std::move(channel2_));
    channel2_ = std::make_unique<LineReader>(path);
    ReadSettingsActorLoop(settings, *channel2_, 0);

    try {
        if (settings.priorityup == 0 || settings.speedup == 0)
            throw RuntimeError(ErrorNumber::DivisionByZero, {}, 0,
                               settings.priorityup == 0 ? "priorityup is 0" : "speedup is 0");
        settings.timerspeed = RoundToInt16(settings.timerspeed / (settings.priorityup / 100.0));
        settings.movespeed = RoundToInt16(settings.movespeed / (settings.speedup / 100.0));
        intervalpending = 1;
        frameindex = 1;

        settings.actorwidth = RoundToInt16(settings.actorwidth * ports_.screen->TwipsPerPixelX());
        settings.actorheight = RoundToInt16(settings.actorheight * ports_.screen->TwipsPerPixelY());

        pausecount = Mul16(settings.framepause, settings.priorityup);
    } catch (const RuntimeError& e) {
        throw e.WithFile(channel2_->name(), 0);
    }

    const int16_t newwidth = settings.actorwidth;
    const int16_t newheight = settings.actorheight;
    if (newwidth != oldwidth || newheight != oldheight) {
        if (settings.alignx == 0) actorx = RoundToInt32(actorx - newwidth / 2.0 + oldwidth / 2.0);
        else if (settings.alignx == 1) actorx = RoundToInt32(static_cast<double>(actorx) - (newwidth - oldwidth));
        if (settings.aligny == 0) actory = RoundToInt32(actory - newheight / 2.0 + oldheight / 2.0);
        else if (settings.aligny == 1) actory = RoundToInt32(static_cast<double>(actory) - (newheight - oldheight));
        resizepending = 1;
    }
    KeepOnScreen();
}

void ActorRuntime::RequireChannel2() {
    // Frames are only read after a load; a player without one has nothing open.
    if (!channel2_)
        throw RuntimeError(ErrorNumber::BadFileNameOrNumber, NativePath(settings.actorpath + animfile), 0,
                           "no animation file is open");
}

void ActorRuntime::ShowNextFrame(std::string& name) {
    DepthGuard guard(*this, name);
    if (HasEnding(name, ".krnd")) {
        PlayRandomChoice(name);
        name.clear();
        return;
    }
    if (name == "nul") return;

    if ((!name.empty() && name != animfile) || frameindex > settings.framecount) {
        std::string copy = name;
        LoadAnimation(copy);
        if (action.actionstep > 10000) {
            action.actionstep = 0;
            return;
        }
    }

    pausecount = Add16(pausecount, 1);
    const int16_t threshold = Mul16(settings.framepause, RoundToInt16(settings.priorityup / 100.0));

    if (pausecount < threshold) {
        // The same frame stays: the only work is keeping the window where
        // the actor is (no X request when that has not changed either).
        EnsureWindowLoaded();
        ApplyPendingInterval();
        ports_.window->Move(actorx, actory);
        return;
    }

    RequireChannel2();
    std::string& frameline = frameline_;
    for (;;) {
        channel2_->ReadLine(lineBuffer_);
        std::string_view trimmed = TrimBlanksView(lineBuffer_);
        if (trimmed.empty()) continue;
        if (trimmed.front() == '!') {
            frameindex = Add16(frameindex, 1);
            pausecount = 0;
            commandFile_ = channel2_->name();
            commandLine_ = channel2_->lineNumber();
            RunActionCommand(std::string(trimmed));
            std::string empty;
            ShowNextFrame(empty);
            return;
        }
        pausecount = 0;
        frameindex = Add16(frameindex, 1);
        frameline.assign(trimmed);
        break;
    }

    if (const size_t bar = frameline.find('|'); bar != std::string::npos) {
        PlayActorSound(frameline.substr(bar + 1));
        frameline.resize(bar);
    }

    EnsureWindowLoaded();
    ApplyPendingInterval();

    // The same keyed picture stays; a keyed line naming the opaque picture
    // on show is loaded again and keyed.
    if (frameline == lastpicture && frametransparent == 1) {
        ports_.window->Move(actorx, actory);
        return;
    }

    if (!frameline.empty() && frameline.front() == '@') {
        frameline.erase(0, 1);
        frametransparent = 0;
    } else {
        frametransparent = 1;
    }
    ports_.window->SetPicture(ActorFile(frameline));
    if (resizepending == 1) {
        ports_.window->SetSize(settings.actorwidth, settings.actorheight);
        KeepOnScreen();
        resizepending = 0;
    }
    ports_.window->Move(actorx, actory);
    if (frametransparent == 1 && settings.transparencyoff == 0) {
        const int32_t key = (settings.transparentred & 0xFF) + 256 * (settings.transparentgreen & 0xFF) +
                            65536 * (settings.transparentblue & 0xFF);
        ports_.window->SetKeyColor(key);
    }
    ports_.window->Repaint();
    lastpicture = frameline;
}

void ActorRuntime::ApplyPendingInterval() {
    if (intervalpending != 1) return;
    if (settings.timerspeed < 0)
        throw RuntimeError(ErrorNumber::InvalidPropertyValue, NativePath(settings.actorpath + animfile), 0,
                           "timerspeed " + std::to_string(settings.timerspeed) + " is negative");
    ports_.timer1->SetInterval(settings.timerspeed);
    intervalpending = 0;
}

void ActorRuntime::KeepOnScreen() {
    const Room room = CurrentRoom();
    const double bottom = room.bottom - settings.actorheight;
    if (actory > bottom) actory = RoundToInt32(bottom);
    if (actory < room.top + 1) actory = RoundToInt32(room.top);
    const double right = room.right - settings.actorwidth;
    if (actorx > right) actorx = RoundToInt32(right);
    if (actorx < room.left + 1) actorx = RoundToInt32(room.left);
}

void ActorRuntime::ScreensChanged() {
    // An actor left on no monitor (one unplugged, or moved away) comes back
    // onto the nearest one, whole, and the window follows at once. One
    // still on a monitor keeps within its room: a panel that appears under
    // it lifts it onto the panel.
    const int32_t oldx = actorx, oldy = actory;
    if (OnSomeMonitor(*ports_.screen, actorx, actory, settings.actorwidth, settings.actorheight)) {
        const Room room = CurrentRoom();
        if (actory + settings.actorheight > room.bottom) actory = RoundToInt32(room.bottom - settings.actorheight);
        if (actory < room.top) actory = RoundToInt32(room.top);
        if (actorx + settings.actorwidth > room.right) actorx = RoundToInt32(room.right - settings.actorwidth);
        if (actorx < room.left) actorx = RoundToInt32(room.left);
    } else {
        const ScreenRect m = ports_.screen->Monitor(
            StandingMonitor(*ports_.screen, actorx, actory, settings.actorwidth, settings.actorheight));
        actorx = RoundToInt32(std::max(m.left, std::min<double>(actorx, m.right() - settings.actorwidth)));
        actory = RoundToInt32(std::max(m.top, std::min<double>(actory, m.bottom() - settings.actorheight)));
    }
    if (windowLoaded_ && (actorx != oldx || actory != oldy)) ports_.window->Move(actorx, actory);
}

void ActorRuntime::PlayActorSound(const std::string& name) {
    if (settings.audioon != 1) return;
    ports_.sound->Play(ActorFile(name));
}

// Lists this size or smaller are kept once read; a bigger one is read at
// each choice, as before.
static constexpr long long kMaxCachedList = 16 << 20;
static constexpr size_t kMaxCachedBytes = 32 << 20;

const ActorRuntime::CachedList* ActorRuntime::ReadList(const std::string& list) {
    const std::string native = ResolvePath(settings.actorpath + list);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxCachedList) return nullptr;
    auto it = lists_.find(native);
    if (it != lists_.end()) {
        const CachedList& c = it->second;
        if (c.device == st.st_dev && c.inode == st.st_ino && c.size == st.st_size && c.mtimeSec == st.st_mtim.tv_sec &&
            c.mtimeNsec == st.st_mtim.tv_nsec)
            return &c;
        listBytes_ -= static_cast<size_t>(c.size);
        lists_.erase(it);
    }

    CachedList c;
    c.device = st.st_dev;
    c.inode = st.st_ino;
    c.size = st.st_size;
    c.mtimeSec = st.st_mtim.tv_sec;
    c.mtimeNsec = st.st_mtim.tv_nsec;
    LineReader reader(native);
    c.name = reader.name();
    const std::string first = reader.ReadLine();
    try {
        c.count = NumberSetting(first.substr(0, first.find(',')));
    } catch (const RuntimeError& e) {
        throw e.WithFile(reader.name(), 1);
    }
    // Only the entries a draw can reach; an error past them is raised only
    // when a draw gets there, as reading at each choice would.
    const int wanted = c.count <= 0 ? 1 : c.count;
    try {
        while (static_cast<int>(c.entries.size()) < wanted) c.entries.push_back(reader.ReadLine());
    } catch (const RuntimeError& e) {
        c.pastEntries = e;
    }
    if (listBytes_ + static_cast<size_t>(c.size) > kMaxCachedBytes) {
        lists_.clear();
        listBytes_ = 0;
    }
    listBytes_ += static_cast<size_t>(c.size);
    return &lists_.insert_or_assign(native, std::move(c)).first->second;
}

std::string ActorRuntime::PickRandomLine(const std::string& list) {
    std::string storage;
    return std::string(PickEntry(list, storage));
}

std::string_view ActorRuntime::PickEntry(const std::string& list, std::string& storage) {
    if (list.empty())
        throw RuntimeError(ErrorNumber::FileNotFound, NativePath(settings.actorpath), 0,
                           "no random-choice list is named here");
    // An unchanged list is not read again: a choice can come on every tick.
    if (const CachedList* cached = ReadList(list)) {
        const int16_t r = RoundToInt16(std::floor(ports_.random->Next() * cached->count) + 1);
        if (r <= 0) return {};
        if (static_cast<size_t>(r) > cached->entries.size()) {
            if (cached->pastEntries) throw *cached->pastEntries;
            throw RuntimeError(ErrorNumber::InputPastEndOfFile, cached->name,
                               static_cast<int>(cached->entries.size()) + 2);
        }
        commandFile_ = cached->name;
        commandLine_ = r + 1;
        return cached->entries[static_cast<size_t>(r) - 1];
    }
    LineReader reader(settings.actorpath + list);
    std::string first = reader.ReadLine();
    int16_t count;
    try {
        count = NumberSetting(first.substr(0, first.find(',')));
    } catch (const RuntimeError& e) {
        throw e.WithFile(reader.name(), 1);
    }
    const int16_t r = RoundToInt16(std::floor(ports_.random->Next() * count) + 1);
    if (r <= 0) return {};
    for (int16_t i = 0; i < r; ++i) reader.ReadLine(storage);
    commandFile_ = reader.name();
    commandLine_ = reader.lineNumber();
    return storage;
}

void ActorRuntime::PlayRandomChoice(std::string& list) {
    DepthGuard guard(*this, list);
    // Lists that only name each other would loop for ever without playing.
    for (int hops = 0;; ++hops) {
        // Named at the entry that led on last: one of the lists in the circle.
        if (hops > 10000)
            throw RuntimeError(ErrorNumber::OutOfStackSpace, commandFile_, commandLine_,
                               "random-choice lists name each other without playing anything");
        // A long entry that plays nothing is never copied.
        std::string storage;
        const std::string_view entry = TrimBlanksView(PickEntry(list, storage));
        if (!entry.empty() && entry.front() == '!') {
            RunActionCommand(std::string(entry));
            return;
        }
        if (HasEnding(entry, ".kani")) {
            std::string copy(entry);
            ShowNextFrame(copy);
            return;
        }
        if (HasEnding(entry, ".krnd")) {
            list = std::string(entry);
            continue;
        }
        return;
    }
}

void ActorRuntime::PlayNext() {
    if (!nextfile.empty()) {
        PlayRandomChoice(nextfile);
        return;
    }
    ports_.random->Seed(ports_.clock->SecondsSinceMidnight());
    PlayRandomChoice(statefile);
}

void ActorRuntime::FailCommand(const std::string& detail, const std::string& line) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall, commandFile_, commandLine_, detail + ": " + line);
}

void ActorRuntime::RunActionCommand(const std::string& line) {
    DepthGuard guard(*this, animfile);
    const std::string sourceFile = commandFile_;
    const int sourceLine = commandLine_;
    const size_t bar1 = line.find('|');
    const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
    const size_t bar3 = bar2 == std::string::npos ? bar2 : line.find('|', bar2 + 1);
    if (bar3 == std::string::npos) FailCommand("an action command needs three \"|\" (type|count|target|next)", line);

    const std::string typefield = line.substr(0, bar1);
    const std::string countfield = line.substr(bar1 + 1, bar2 - bar1 - 1);
    const std::string target = line.substr(bar2 + 1, bar3 - bar2 - 1);
    const std::string next = TrimBlanks(line.substr(bar3 + 1));

    int16_t type;
    int16_t count;
    try {
        type = NumberSetting(RightChars(typefield, 2));
        count = NumberSetting(countfield);
    } catch (const RuntimeError& e) {
        throw e.WithFile(sourceFile, sourceLine);
    }

    if (type == 0) {
        SwitchActor(target);
        return;
    }
    if (type == 99) {
        SendLinkMessage(target);
        return;
    }

    action.actionstep = -200;
    actiontype = type;
    nextfile = next;
    if (count < 0) count = RoundToInt16(std::floor(ports_.random->Next() * -count) + 1);
    action.actioncount = count;

    std::string first;
    if (target.empty() || target.front() != '$') {
        first = target;
    } else {
        actionargs = target.substr(1);
        const size_t comma = actionargs.find(',');
        if (comma == std::string::npos) {
            commandFile_ = sourceFile;
            commandLine_ = sourceLine;
            FailCommand("a \"$\" target needs at least two names separated by \",\"", line);
        }
        first = actionargs.substr(0, comma);
    }
    LoadAnimation(first);
}

}  // namespace kobal::actor
