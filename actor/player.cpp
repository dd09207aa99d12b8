// The animation player: animation files, random-choice lists and action
// command lines.
#include "actor/player.h"

#include <sys/stat.h>

#include <cstdio>

#include "actor/actor_language.h"
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
    auto take = [this, &read] {
        header_ = {read.framecount,      read.framepause,  read.timerspeed,     read.movespeed,
                   read.actorwidth,      read.actorheight, read.transparentred, read.transparentgreen,
                   read.transparentblue, read.alignx,      read.aligny};
    };
    try {
        ReadSettingsActorLoop(read, *animation_, 0);
    } catch (...) {
        take();  // the lines before a bad one count too, as in the classic loop
        throw;
    }
    take();
}

void Player::LoadAnimation(std::string& name) {
    DepthGuard guard(*this, name);
    if (!animfile_.empty()) {
        CloseAnimationFile();
        if (name.empty()) name = animfile_;
        else animfile_ = name;
    }
    if (animfile_.empty()) animfile_ = name;

    if (IsListName(name)) {
        PlayRandomChoice(name);
        return;
    }

    const int16_t oldwidth = pace_.widthTwips;
    const int16_t oldheight = pace_.heightTwips;

    const std::string path = settings_.actorpath + name;
    CloseAnimationFile();
    animation_ = OpenAnimation(path);
    animationPath_ = path;
    ReadHeader();

    try {
        RequireScales(settings_.priorityup, settings_.speedup);
        pace_.tickInterval = ScaledInterval(header_.timerspeed, settings_.priorityup);
        pace_.moveStep = ScaledMoveStep(header_.movespeed, settings_.speedup);
        intervalPending_ = true;
        frameindex_ = 1;

        pace_.widthTwips = PixelsToTwips(header_.actorwidth, screen_.TwipsPerPixelX());
        pace_.heightTwips = PixelsToTwips(header_.actorheight, screen_.TwipsPerPixelY());

        pausecount_ = FirstPauseCount(header_.framepause, settings_.priorityup);
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
    if (IsListName(name)) {
        PlayRandomChoice(name);
        name.clear();
        return;
    }
    if (name == kShowNothing) return;

    if ((!name.empty() && name != animfile_) || frameindex_ > header_.framecount) {
        std::string copy = name;
        LoadAnimation(copy);
        if (host_.AnimationStartsOver()) return;
    }

    pausecount_ = Add16(pausecount_, 1);
    const int16_t threshold = FrameThreshold(header_.framepause, settings_.priorityup);

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
        try {
            animation_->ReadLine(lineBuffer_);
        } catch (const RuntimeError& e) {
            if (e.number() != ErrorNumber::InputPastEndOfFile) throw;
            throw PastTheLastFrame(e);
        }
        const std::string_view trimmed = TrimBlanksView(lineBuffer_);
        const FrameLineKind kind = KindOfFrameLine(trimmed);
        if (kind == FrameLineKind::Blank) continue;
        frameindex_ = Add16(frameindex_, 1);
        pausecount_ = 0;
        if (kind == FrameLineKind::Command) {
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

RuntimeError Player::PastTheLastFrame(const RuntimeError& e) const {
    const int lines = frameindex_ - 1;
    std::string detail = "framecount " + std::to_string(header_.framecount);
    int line = e.line();
    // An error path only: the header is read again to find the framecount line.
    try {
        LineReader header(animationPath_);
        std::string text;
        while (!header.AtEnd()) {
            header.ReadLine(text);
            if (IsEndLine(text)) break;
            if (SettingLineKey(text) == "framecount") line = header.lineNumber();
        }
    } catch (const RuntimeError&) {
        // Changed or gone since: the line where the frames ran out is named.
    }
    if (line == e.line()) detail += ", left by the animation before,";
    detail += " is larger than its " + std::to_string(lines) + (lines == 1 ? " frame line" : " frame lines");
    return RuntimeError(e.number(), e.file(), line, detail);
}

void Player::ShowFrameLine() {
    const PictureLine line = SplitPictureLine(frameline_);
    if (line.hasSound) PlayActorSound(std::string(line.sound));

    host_.EnsureWindowLoaded();
    ApplyPendingInterval();

    // The same keyed picture stays; a keyed line naming the opaque picture
    // on show is loaded again and keyed.
    if (line.written == lastpicture_ && frametransparent_ == 1) {
        window_.Move(position_.x(), position_.y());
        return;
    }

    frametransparent_ = line.opaque ? 0 : 1;
    if (pictureDir_ != settings_.actorpath) {
        pictureFiles_.clear();
        pictureDir_ = settings_.actorpath;
    }
    if (auto known = pictureFiles_.find(line.picture); known != pictureFiles_.end()) {
        window_.SetPicture(known->second);
    } else {
        std::string file = ActorFile(std::string(line.picture));
        window_.SetPicture(file);
        pictureFiles_.emplace(std::string(line.picture), std::move(file));
    }
    if (resizePending_) {
        window_.SetSize(pace_.widthTwips, pace_.heightTwips);
        KeepOnScreen();
        resizePending_ = false;
    }
    window_.Move(position_.x(), position_.y());
    if (frametransparent_ == 1 && settings_.transparencyoff == 0)
        window_.SetKeyColor(KeyColor(header_.transparentred, header_.transparentgreen, header_.transparentblue));
    window_.Repaint();
    lastpicture_ = line.picture;
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
// each choice, as before. Animation files likewise, at each start.
static constexpr long long kMaxCachedList = 16 << 20;
static constexpr size_t kMaxCachedBytes = 32 << 20;

namespace {

template <typename Stamp>
Stamp StampOf(const struct stat& st) {
    return {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino), st.st_size,
            st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

}  // namespace

std::unique_ptr<LineReader> Player::OpenAnimation(const std::string& path) {
    const std::string native = NativePath(path);
    struct stat st {};
    if (auto it = animations_.find(native); it != animations_.end()) {
        const CachedAnimation& c = it->second;
        // Found by another letter case: a file now named exactly as written would be the one opened.
        const bool same = (c.name == native || ::stat(native.c_str(), &st) != 0) && ::stat(c.name.c_str(), &st) == 0 &&
                          S_ISREG(st.st_mode) && StampOf<FileStamp>(st) == c.stamp;
        if (same) return std::make_unique<LineReader>(c.name, c.text);
        animationBytes_ -= c.text->size();
        animations_.erase(it);
    }

    // Read afresh, with the errors of opening it; what cannot be kept is read from the file as it goes.
    std::string name;
    std::FILE* f = OpenForReading(path, &name);
    auto text = std::make_shared<std::string>();
    bool whole = ::fstat(::fileno(f), &st) == 0 && st.st_size <= kMaxCachedList;
    if (whole) {
        char buffer[8192];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text->size() <= kMaxCachedList)
            text->append(buffer, n);
        whole = !std::ferror(f) && text->size() <= kMaxCachedList;
    }
    std::fclose(f);
    if (!whole) return std::make_unique<LineReader>(path);

    if (animationBytes_ + text->size() > kMaxCachedBytes) {
        animations_.clear();
        animationBytes_ = 0;
    }
    animationBytes_ += text->size();
    CachedAnimation& c = animations_[native];
    c = {StampOf<FileStamp>(st), name, std::move(text)};
    return std::make_unique<LineReader>(c.name, c.text);
}

const Player::CachedList* Player::ReadList(const std::string& list) {
    // Named exactly as written, the file is the one ResolvePath would give: one stat, not two.
    std::string native = NativePath(settings_.actorpath + list);
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) {
        native = ResolvePath(settings_.actorpath + list);
        if (::stat(native.c_str(), &st) != 0) return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxCachedList) return nullptr;
    auto it = lists_.find(native);
    if (it != lists_.end()) {
        const CachedList& c = it->second;
        if (c.stamp == StampOf<FileStamp>(st)) return &c;
        listBytes_ -= static_cast<size_t>(c.stamp.size);
        lists_.erase(it);
    }

    CachedList c;
    c.stamp = StampOf<FileStamp>(st);
    LineReader reader(native);
    c.name = reader.name();
    const std::string first = reader.ReadLine();
    try {
        c.count = ListCount(first);
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
    if (listBytes_ + static_cast<size_t>(c.stamp.size) > kMaxCachedBytes) {
        lists_.clear();
        listBytes_ = 0;
    }
    listBytes_ += static_cast<size_t>(c.stamp.size);
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
        const int16_t r = DrawOneTo(random_.Next(), cached->count);
        if (r <= 0) return {};
        if (static_cast<size_t>(r) > cached->entries.size()) {
            if (cached->pastEntries && cached->pastEntries->number() != ErrorNumber::InputPastEndOfFile)
                throw *cached->pastEntries;
            // Named at the count line, with the reason, as the checker names it.
            const size_t entries = cached->entries.size();
            throw RuntimeError(ErrorNumber::InputPastEndOfFile, cached->name, 1,
                               entries == 0 ? std::string("the list has no entries")
                                            : "count " + std::to_string(cached->count) + " is larger than its " +
                                                  std::to_string(entries) + (entries == 1 ? " entry" : " entries"));
        }
        commandFile_ = cached->name;
        commandLine_ = r + 1;
        return cached->entries[static_cast<size_t>(r) - 1];
    }
    LineReader reader(settings_.actorpath + list);
    std::string first = reader.ReadLine();
    int16_t count;
    try {
        count = ListCount(first);
    } catch (const RuntimeError& e) {
        throw e.WithFile(reader.name(), 1);
    }
    const int16_t r = DrawOneTo(random_.Next(), count);
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
        switch (KindOfEntry(entry)) {
            case EntryKind::Command: RunActionCommand(std::string(entry)); return;
            case EntryKind::Animation: {
                std::string copy(entry);
                ShowNextFrame(copy);
                return;
            }
            case EntryKind::List: list = std::string(entry); continue;
            case EntryKind::Nothing: return;
        }
    }
}

void Player::RunActionCommand(const std::string& line) {
    DepthGuard guard(*this, animfile_);
    const std::string sourceFile = commandFile_;
    const int sourceLine = commandLine_;
    const ActionFields fields = ReadActionCommand(line, sourceFile, sourceLine);
    int16_t type;
    int16_t count;
    try {
        type = ActionType(fields.type);
        count = ActionCount(fields.count);
    } catch (const RuntimeError& e) {
        throw e.WithFile(sourceFile, sourceLine);
    }

    const std::string target(fields.target);
    if (type == kSwitchActor) {
        host_.SwitchActor(target);
        return;
    }
    if (type == kSendLinkMessage) {
        host_.SendLinkMessage(target);
        return;
    }

    if (count < 0) count = DrawOneTo(random_.Next(), -count);
    std::optional<std::string> args;
    if (IsNameListTarget(target)) args = std::string(NameListOf(target));
    host_.StartBehaviour(type, count, args, std::string(fields.next));

    std::string first = target;
    if (args) {
        const std::optional<std::string_view> name = FirstListedName(*args);
        if (!name) throw ActionCommandError(kNeedsTwoNames, line, sourceFile, sourceLine);
        first = std::string(*name);
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
            auto reopened = OpenAnimation(s.fileName);
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
