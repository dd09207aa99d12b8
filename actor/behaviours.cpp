// The behaviour engine: one step of the current behaviour per animation tick.
#include "actor/behaviours.h"

#include <algorithm>
#include <cmath>

#include "actor/actor_language.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::actor {

struct Behaviours::Stage {
    const SettingStore& settings;
    Position& position;
    Player& player;
    RandomSource& random;
    BehaviourHost& host;
    WindowFloors& floors;
    ActionRecord& action;
    const std::string& args;
    std::array<std::string, 6>& facing;

    int16_t PickDirection() {
        const int k = static_cast<int>(std::floor(2 * random.Next())) + 1;
        return k == 1 ? 1 : -1;
    }
    Room CurrentRoom() const { return position.RoomFor(player.widthTwips(), player.heightTwips()); }
    int16_t MoveStep() const { return player.pace().moveStep; }
    // A fall never hangs in the air, whatever the animation it falls with.
    int16_t DescendStep() const {
        const int16_t step = MoveStep();
        return step <= 0 && floors.falling() ? kFallStep : step;
    }
    static constexpr int16_t kFallStep = 150;  // twips per tick: 10 pixels
    void ShowNextFrame() {
        std::string empty;
        player.ShowNextFrame(empty);
    }
    std::string AnimationPath() const { return NativePath(settings.actorpath + player.animfile()); }
};

namespace {

using Stage = Behaviours::Stage;

class Behaviour {
  public:
    virtual ~Behaviour() = default;
    // The initialising tick: nothing is drawn and nothing moves.
    virtual void Start(Stage& s) const {
        s.action.actionstep = RoundToInt16(s.settings.speedup / 100.0 * s.action.actioncount);
    }
    virtual void Step(Stage& s) const = 0;
};

// Wander and wander facing: both axes move, and each edge test reverses its
// step separately, so an actor wider than the screen keeps its direction.
void MoveAndBounce(Stage& s) {
    ActionRecord& a = s.action;
    s.position.MoveBy(a.actionmove2, a.actionmove1);
    const Room room = s.CurrentRoom();
    const float bottom = static_cast<float>(room.bottom - s.player.heightTwips());
    const float right = static_cast<float>(room.right - s.player.widthTwips());
    if (s.position.y() > bottom) a.actionmove1 = -a.actionmove1;
    if (s.position.y() < room.top + 1) a.actionmove1 = -a.actionmove1;
    if (s.position.x() > right) a.actionmove2 = -a.actionmove2;
    if (s.position.x() < room.left + 1) a.actionmove2 = -a.actionmove2;
    a.actionstep = Add16(a.actionstep, -1);
}

class Wander : public Behaviour {
  public:
    void Start(Stage& s) const override {
        Behaviour::Start(s);
        s.action.actionmove1 = s.PickDirection() * s.MoveStep();
        s.action.actionmove2 = s.PickDirection() * s.MoveStep();
    }
    void Step(Stage& s) const override {
        if (s.action.actionstep < 1) {
            s.host.PlayNext();
            return;
        }
        MoveAndBounce(s);
        s.ShowNextFrame();
    }
};

class WanderFacing : public Wander {
  public:
    void Start(Stage& s) const override {
        Wander::Start(s);
        // Entries the list leaves out keep the names of an earlier wander facing.
        std::vector<std::string> names = SplitNames(s.args);
        if (names.size() > kMaxFacingNames)
            throw RuntimeError(ErrorNumber::SubscriptOutOfRange, s.AnimationPath(), 0,
                               std::string(kTooManyFacingNames) + s.args);
        for (size_t i = 0; i < names.size(); ++i) s.facing[i + 1] = std::move(names[i]);
    }
    void Step(Stage& s) const override {
        if (s.action.actionstep < 1) {
            s.host.PlayNext();
            return;
        }
        MoveAndBounce(s);
        const int32_t h = s.action.actionmove2;
        const int32_t v = s.action.actionmove1;
        size_t entry = 0;
        if (h < 0 && v < 0) entry = 1;
        else if (h > 0 && v < 0) entry = 2;
        else if (h < 0 && v > 0) entry = 3;
        else if (h > 0 && v > 0) entry = 4;
        if (entry == 0) s.ShowNextFrame();
        else s.player.ShowNextFrame(s.facing[entry]);
    }
};

class Walk : public Behaviour {
  public:
    void Start(Stage& s) const override {
        Behaviour::Start(s);
        s.action.actionmove1 = s.PickDirection() * s.MoveStep();
        const std::optional<WalkNames> names = SplitWalkNames(s.args);
        if (!names)
            throw RuntimeError(ErrorNumber::InvalidProcedureCall, s.AnimationPath(), 0,
                               std::string(kWalkNeedsTwoNames) + s.args);
        s.facing[1] = names->right;
        s.facing[2] = names->left;
    }
    void Step(Stage& s) const override {
        ActionRecord& a = s.action;
        if (a.actionstep < 1) {
            s.host.PlayNext();
            return;
        }
        s.player.ShowNextFrame(a.actionmove1 <= 0 ? s.facing[2] : s.facing[1]);
        s.position.MoveBy(a.actionmove1, 0);
        const Room room = s.CurrentRoom();
        const float right = static_cast<float>(room.right - s.player.widthTwips());
        if (s.position.x() > right || s.position.x() < room.left + 1) a.actionmove1 = -a.actionmove1;
        a.actionstep = Add16(a.actionstep, -1);
    }
};

class Descend : public Behaviour {
  public:
    void Start(Stage& s) const override {
        Behaviour::Start(s);
        s.floors.DescendStarts(static_cast<double>(s.position.y()) + s.player.heightTwips());
    }
    void Step(Stage& s) const override {
        const Room room = s.CurrentRoom();
        const float bottom = static_cast<float>(room.bottom - s.player.heightTwips());
        // A fall goes on until it reaches a floor, however few steps its list gave it.
        const bool falling = s.floors.falling();
        if (!(bottom > s.position.y()) || (s.action.actionstep == 0 && !falling)) {
            s.host.PlayNext();
            return;
        }
        const int16_t step = s.DescendStep();
        const double height = s.player.heightTwips();
        const double cx = s.position.x() + s.player.widthTwips() / 2.0;
        const double feet = s.position.y() + height;
        if (const std::optional<FloorWindow> landing = s.floors.LandingFor(cx, feet, room.bottom)) {
            // Feet on the top: it stands there, and the next tick chooses again.
            if (feet + 1 >= landing->top) {
                s.position.MoveTo(s.position.x(), RoundToInt32(landing->top - height));
                s.floors.Land(*landing, height);
                s.host.PlayNext();
                return;
            }
            if (feet + step >= landing->top) {
                s.position.MoveTo(s.position.x(), RoundToInt32(landing->top - height));
                s.floors.Land(*landing, height);
                s.ShowNextFrame();
                // A command the frame ran has started a new action already.
                if (s.action.actionstep >= -100) s.action.actionstep = 0;
                return;
            }
        }
        s.ShowNextFrame();
        s.position.MoveBy(0, step);
        if (s.action.actionstep != 0 || !falling) s.action.actionstep = Add16(s.action.actionstep, -1);
    }
};

// Runs until its animation starts over (see AnimationStartsOver).
class PlayOnce : public Behaviour {
  public:
    void Start(Stage& s) const override { s.action.actionstep = 30000; }
    void Step(Stage& s) const override {
        if (s.action.actionstep > 0) {
            s.action.actionstep = Add16(s.action.actionstep, -1);
            s.ShowNextFrame();
        } else {
            s.host.PlayNext();
        }
    }
};

class Climb : public Behaviour {
  public:
    void Step(Stage& s) const override {
        if (s.action.actionstep != 0 && s.position.y() > s.CurrentRoom().top) {
            s.ShowNextFrame();
            s.position.MoveBy(0, -s.MoveStep());
            s.action.actionstep = Add16(s.action.actionstep, -1);
        } else {
            s.host.PlayNext();
        }
    }
};

const Behaviour* UnitFor(int16_t type) {
    static const Wander wander;
    static const Walk walk;
    static const Descend descend;
    static const PlayOnce playOnce;
    static const Climb climb;
    static const WanderFacing wanderFacing;
    static const Behaviour* const units[] = {nullptr, &wander, &walk, &descend, &playOnce, &climb, &wanderFacing};
    return IsBehaviourType(type) ? units[type] : nullptr;
}

}  // namespace

Behaviours::Behaviours(const SettingStore& settings, Position& position, Player& player, RandomSource& random,
                       BehaviourHost& host, WindowFloors& floors)
    : settings_(settings), position_(position), player_(player), random_(random), host_(host), floors_(floors) {}

void Behaviours::Start(int16_t type, int16_t count, const std::optional<std::string>& args, const std::string& next) {
    floors_.BehaviourStarts(type);
    action_.actionstep = -200;
    actiontype_ = type;
    nextfile_ = next;
    action_.actioncount = count;
    if (args) actionargs_ = *args;
}

void Behaviours::Tick() {
    // Until a first action command has run there is no behaviour to step: a
    // start whose choice was a plain animation (or played nothing) chooses
    // again on the next tick, as after an ended behaviour, rather than stand
    // frozen where its one frame put it. Commands 0 and 99 never set the
    // type, so 0 means that no behaviour has started yet.
    if (actiontype_ == 0) {
        host_.PlayNext();
        return;
    }
    if (const Behaviour* unit = UnitFor(actiontype_)) {
        Stage stage{settings_, position_, player_, random_, host_, floors_, action_, actionargs_, facingnames_};
        if (action_.actionstep < -100) unit->Start(stage);
        else unit->Step(stage);
    }
    // A walker checks its floor after every step, and so does anything
    // standing on a window whose changes went unseen (hibernating, hidden).
    if (floors_.standing()) FollowFloor();
}

void Behaviours::FollowFloor() {
    const FloorLoss loss = floors_.Follow(position_, player_.widthTwips(), player_.heightTwips());
    if (loss != FloorLoss::None) Fall(loss);
}

void Behaviours::Fall(FloorLoss loss) {
    if (!floors_.FallStarts(loss)) return;
    struct Started {
        WindowFloors& floors;
        ~Started() { floors.FallStarted(); }
    } started{floors_};
    if (!settings_.fallfile.empty()) {
        std::string list = settings_.fallfile;
        player_.PlayRandomChoice(list);
        return;
    }
    // As many steps as a behaviour may have without ending when its
    // animation starts over: the landing ends it long before.
    const int16_t count =
        settings_.speedup > 0 ? static_cast<int16_t>(std::min(32767, 1000000 / settings_.speedup)) : int16_t{10000};
    Start(3, count, std::nullopt, nextfile_);
}

bool Behaviours::AnimationStartsOver() {
    if (action_.actionstep <= 10000) return false;
    action_.actionstep = 0;
    return true;
}

void Behaviours::PlayNextList() {
    player_.PlayRandomChoice(nextfile_);
}

void Behaviours::Restore(Saved saved) {
    actiontype_ = saved.actiontype;
    action_ = saved.action;
    nextfile_ = std::move(saved.nextfile);
    actionargs_ = std::move(saved.actionargs);
    facingnames_ = std::move(saved.facingnames);
}

}  // namespace kobal::actor
