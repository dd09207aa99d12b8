// The animation player: animation files, random-choice lists and action
// command lines.
#include "actor/player.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::actor {

// Deep enough for any real chain of lists and commands, far below the
// thread's stack limit.
static constexpr int kMaxDepth = 200;

class Player::DepthGuard {
  public:
    DepthGuard(Player& p, const std::string& what) : p_(p) {
        if (++p_.depth_ > kMaxDepth) {
            --p_.depth_;
            // The line that last led on is where an author can break the circle.
            if (!p_.commandFile_.empty())
                throw RuntimeError(ErrorNumber::OutOfStackSpace, p_.commandFile_, p_.commandLine_,
                                   "animations, lists and commands call each other without showing a frame");
            throw RuntimeError(ErrorNumber::OutOfStackSpace, NativePath(p_.settings_.actorpath + what), 0,
                               "animations, lists and commands call each other without showing a frame");
        }
    }
    ~DepthGuard() { --p_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    Player& p_;
};

static bool HasEnding(std::string_view name, std::string_view ending) {
    // Exact test of the last five characters, letter case included.
    return RightChars(name, 5) == ending;
}

Player::Player(const SettingStore& settings, Position& position, ActorWindowPort& window, ScreenPort& screen,
               TimerPort& tick, SoundPort& sound, RandomSource& random, PlayerHost& host)
    : settings_(settings),
      position_(position),
      window_(window),
      screen_(screen),
      tick_(tick),
      sound_(sound),
      random_(random),
      host_(host) {}

Player::~Player() = default;

std::string Player::ActorFile(const std::string& name) const {
    return ResolvePath(settings_.actorpath + name);
}

void Player::CloseAnimationFile() {
    if (keepClosed_ && animation_) closed_.push_back(std::move(animation_));
    animation_.reset();
}

void Player::ReadHeader() {
    // Section 0 touches the animation keys only. What the file leaves out
    // stays as it was in effect, scaled values included.
    SettingStore read;
    read.framecount = header_.framecount;
    read.framepause = header_.framepause;
    read.timerspeed = pace_.tickInterval;
    read.movespeed = pace_.moveStep;
    read.actorwidth = pace_.widthTwips;
    read.actorheight = pace_.heightTwips;
    read.transparentred = header_.transparentred;
    read.transparentgreen = header_.transparentgreen;
    read.transparentblue = header_.transparentblue;
    read.alignx = header_.alignx;
    read.aligny = header_.aligny;
    struct Take {
        AnimationHeader& header;
        const SettingStore& read;
        // The lines before a bad one count too, as in the classic loop.
        ~Take() {
            header = {read.framecount,      read.framepause,  read.timerspeed,     read.movespeed,
                      read.actorwidth,      read.actorheight, read.transparentred, read.transparentgreen,
                      read.transparentblue, read.alignx,      read.aligny};
        }
    } take{header_, read};
    ReadSettingsActorLoop(read, *animation_, 0);
}

void Player::LoadAnimation(std::string& name) {
    DepthGuard guard(*this, name);
    if (!animfile_.empty()) {
        CloseAnimationFile();
        if (name.empty()) name = animfile_;
        else animfile_ = name;
    }
    if (animfile_.empty()) animfile_ = name;

    if (HasEnding(name, ".krnd")) {
        PlayRandomChoice(name);
        return;
    }

    const int16_t oldwidth = pace_.widthTwips;
    const int16_t oldheight = pace_.heightTwips;

    const std::string path = settings_.actorpath + name;
    CloseAnimationFile();
    animation_ = std::make_unique<LineReader>(path);
    ReadHeader();

    try {
        if (settings_.priorityup == 0 || settings_.speedup == 0)
            throw RuntimeError(ErrorNumber::DivisionByZero, {}, 0,
                               settings_.priorityup == 0 ? "priorityup is 0" : "speedup is 0");
        pace_.tickInterval = RoundToInt16(header_.timerspeed / (settings_.priorityup / 100.0));
        pace_.moveStep = RoundToInt16(header_.movespeed / (settings_.speedup / 100.0));
        intervalPending_ = true;
        frameindex_ = 1;

        pace_.widthTwips = RoundToInt16(header_.actorwidth * screen_.TwipsPerPixelX());
        pace_.heightTwips = RoundToInt16(header_.actorheight * screen_.TwipsPerPixelY());

        pausecount_ = Mul16(header_.framepause, settings_.priorityup);
    } catch (const RuntimeError& e) {
        throw e.WithFile(animation_->name(), 0);
    }

    if (pace_.widthTwips != oldwidth || pace_.heightTwips != oldheight) {
        position_.Realign(oldwidth, oldheight, pace_.widthTwips, pace_.heightTwips, header_.alignx, header_.aligny);
        resizePending_ = true;
    }
    KeepOnScreen();
}

void Player::RequireAnimationFile() {
    // Frames are only read after a load; a player without one has nothing open.
    if (!animation_)
        throw RuntimeError(ErrorNumber::BadFileNameOrNumber, NativePath(settings_.actorpath + animfile_), 0,
                           "no animation file is open");
}

void Player::ShowNextFrame(std::string& name) {
    DepthGuard guard(*this, name);
    if (HasEnding(name, ".krnd")) {
        PlayRandomChoice(name);
        name.clear();
        return;
    }
    if (name == "nul") return;

    if ((!name.empty() && name != animfile_) || frameindex_ > header_.framecount) {
        std::string copy = name;
        LoadAnimation(copy);
        if (host_.AnimationStartsOver()) return;
    }

    pausecount_ = Add16(pausecount_, 1);
    const int16_t threshold = Mul16(header_.framepause, RoundToInt16(settings_.priorityup / 100.0));

    if (pausecount_ < threshold) {
        // The same frame stays: the only work is keeping the window where
        // the actor is (no X request when that has not changed either).
        host_.EnsureWindowLoaded();
        ApplyPendingInterval();
        window_.Move(position_.x(), position_.y());
        return;
    }

    if (ReadFrameLine()) ShowFrameLine();
}

bool Player::ReadFrameLine() {
    RequireAnimationFile();
    for (;;) {
        animation_->ReadLine(lineBuffer_);
        std::string_view trimmed = TrimBlanksView(lineBuffer_);
        if (trimmed.empty()) continue;
        frameindex_ = Add16(frameindex_, 1);
        pausecount_ = 0;
        if (trimmed.front() == '!') {
            commandFile_ = animation_->name();
            commandLine_ = animation_->lineNumber();
            RunActionCommand(std::string(trimmed));
            std::string empty;
            ShowNextFrame(empty);
            return false;
        }
        frameline_.assign(trimmed);
        return true;
    }
}

void Player::ShowFrameLine() {
    std::string& frameline = frameline_;
    if (const size_t bar = frameline.find('|'); bar != std::string::npos) {
        PlayActorSound(frameline.substr(bar + 1));
        frameline.resize(bar);
    }

    host_.EnsureWindowLoaded();
    ApplyPendingInterval();

    // The same keyed picture stays; a keyed line naming the opaque picture
    // on show is loaded again and keyed.
    if (frameline == lastpicture_ && frametransparent_ == 1) {
        window_.Move(position_.x(), position_.y());
        return;
    }

    if (!frameline.empty() && frameline.front() == '@') {
        frameline.erase(0, 1);
        frametransparent_ = 0;
    } else {
        frametransparent_ = 1;
    }
    window_.SetPicture(ActorFile(frameline));
    if (resizePending_) {
        window_.SetSize(pace_.widthTwips, pace_.heightTwips);
        KeepOnScreen();
        resizePending_ = false;
    }
    window_.Move(position_.x(), position_.y());
    if (frametransparent_ == 1 && settings_.transparencyoff == 0) {
        const int32_t key = (header_.transparentred & 0xFF) + 256 * (header_.transparentgreen & 0xFF) +
                            65536 * (header_.transparentblue & 0xFF);
        window_.SetKeyColor(key);
    }
    window_.Repaint();
    lastpicture_ = frameline;
}

void Player::ApplyPendingInterval() {
    if (!intervalPending_) return;
    if (pace_.tickInterval < 0)
        throw RuntimeError(ErrorNumber::InvalidPropertyValue, NativePath(settings_.actorpath + animfile_), 0,
                           "timerspeed " + std::to_string(pace_.tickInterval) + " is negative");
    tick_.SetInterval(pace_.tickInterval);
    intervalPending_ = false;
}

void Player::KeepOnScreen() {
    position_.KeepOnScreen(pace_.widthTwips, pace_.heightTwips);
}

void Player::PlayActorSound(const std::string& name) {
    if (settings_.audioon != 1) return;
    sound_.Play(ActorFile(name));
}

// Lists this size or smaller are kept once read; a bigger one is read at
// each choice, as before.
static constexpr long long kMaxCachedList = 16 << 20;
static constexpr size_t kMaxCachedBytes = 32 << 20;

const Player::CachedList* Player::ReadList(const std::string& list) {
    const std::string native = ResolvePath(settings_.actorpath + list);
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

std::string Player::PickRandomLine(const std::string& list) {
    std::string storage;
    return std::string(PickEntry(list, storage));
}

std::string_view Player::PickEntry(const std::string& list, std::string& storage) {
    if (list.empty())
        throw RuntimeError(ErrorNumber::FileNotFound, NativePath(settings_.actorpath), 0,
                           "no random-choice list is named here");
    // An unchanged list is not read again: a choice can come on every tick.
    if (const CachedList* cached = ReadList(list)) {
        const int16_t r = RoundToInt16(std::floor(random_.Next() * cached->count) + 1);
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
    LineReader reader(settings_.actorpath + list);
    std::string first = reader.ReadLine();
    int16_t count;
    try {
        count = NumberSetting(first.substr(0, first.find(',')));
    } catch (const RuntimeError& e) {
        throw e.WithFile(reader.name(), 1);
    }
    const int16_t r = RoundToInt16(std::floor(random_.Next() * count) + 1);
    if (r <= 0) return {};
    for (int16_t i = 0; i < r; ++i) reader.ReadLine(storage);
    commandFile_ = reader.name();
    commandLine_ = reader.lineNumber();
    return storage;
}

void Player::PlayRandomChoice(std::string& list) {
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

void Player::FailCommand(const std::string& detail, const std::string& line) {
    throw RuntimeError(ErrorNumber::InvalidProcedureCall, commandFile_, commandLine_, detail + ": " + line);
}

void Player::RunActionCommand(const std::string& line) {
    DepthGuard guard(*this, animfile_);
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
        host_.SwitchActor(target);
        return;
    }
    if (type == 99) {
        host_.SendLinkMessage(target);
        return;
    }

    if (count < 0) count = RoundToInt16(std::floor(random_.Next() * -count) + 1);
    std::optional<std::string> args;
    if (!target.empty() && target.front() == '$') args = target.substr(1);
    host_.StartBehaviour(type, count, args, next);

    std::string first = target;
    if (args) {
        const size_t comma = args->find(',');
        if (comma == std::string::npos) {
            commandFile_ = sourceFile;
            commandLine_ = sourceLine;
            FailCommand("a \"$\" target needs at least two names separated by \",\"", line);
        }
        first = args->substr(0, comma);
    }
    LoadAnimation(first);
}

}  // namespace kobal::actor

namespace kobal::actor {

Player::Saved Player::Save() const {
    return {animfile_,
            lastpicture_,
            commandFile_,
            header_,
            pace_,
            frameindex_,
            pausecount_,
            frametransparent_,
            commandLine_,
            animation_.get(),
            animation_ ? animation_->name() : std::string(),
            animation_ ? animation_->lineNumber() : 0};
}

void Player::KeepClosedFiles(bool keep) {
    keepClosed_ = keep;
    if (!keep) closed_.clear();
}

void Player::Restore(Saved& s) {
    animfile_ = std::move(s.animfile);
    header_ = s.header;
    pace_ = s.pace;
    frameindex_ = s.frameindex;
    pausecount_ = s.pausecount;
    frametransparent_ = s.frametransparent;
    commandFile_ = std::move(s.commandFile);
    commandLine_ = s.commandLine;
    // The animation file goes on from where it was: the one kept aside, or
    // opened again and read up to the same line.
    std::unique_ptr<LineReader> original;
    if (!closed_.empty() && closed_.front().get() == s.file) original = std::move(closed_.front());
    else if (animation_ && animation_.get() == s.file) original = std::move(animation_);
    closed_.clear();
    keepClosed_ = false;
    animation_.reset();
    if (original && original->lineNumber() == s.fileLine) {
        animation_ = std::move(original);
    } else if (s.file) {
        try {
            auto reopened = std::make_unique<LineReader>(s.fileName);
            for (int i = 0; i < s.fileLine; ++i) reopened->ReadLine();
            animation_ = std::move(reopened);
        } catch (const RuntimeError&) {
            // Gone meanwhile: the next frame reports it as any missing animation.
        }
    }
    // The window may already show what the command loaded: the next frame
    // puts back the picture, size and pace of the animation that goes on.
    lastpicture_.clear();
    intervalPending_ = true;
    resizePending_ = true;
}

}  // namespace kobal::actor
