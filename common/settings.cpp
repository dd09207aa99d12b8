#include "common/settings.h"

#include "common/line_reader.h"
#include "common/numbers.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal {
namespace {

struct NumericKey {
    const char* key;
    int16_t SettingStore::*field;
};
struct TextKey {
    const char* key;
    std::string SettingStore::*field;
};

constexpr NumericKey kAnimationKeys[] = {
    {"framecount", &SettingStore::framecount},
    {"framepause", &SettingStore::framepause},
    {"timerspeed", &SettingStore::timerspeed},
    {"movespeed", &SettingStore::movespeed},
    {"actorwidth", &SettingStore::actorwidth},
    {"actorheight", &SettingStore::actorheight},
    {"transparentred", &SettingStore::transparentred},
    {"transparentgreen", &SettingStore::transparentgreen},
    {"transparentblue", &SettingStore::transparentblue},
    {"alignx", &SettingStore::alignx},
    {"aligny", &SettingStore::aligny},
};

constexpr NumericKey kPreferenceKeys[] = {
    {"priorityup", &SettingStore::priorityup},
    {"speedup", &SettingStore::speedup},
    {"audioon", &SettingStore::audioon},
    {"showsplash", &SettingStore::showsplash},
    {"boredtime", &SettingStore::boredtime},
    {"sleeptime", &SettingStore::sleeptime},
    {"hibernatetime", &SettingStore::hibernatetime},
    {"initialpriority", &SettingStore::initialpriority},
    {"transparencyoff", &SettingStore::transparencyoff},
    {"overrideactor", &SettingStore::overrideactor},
    {"hidefullscreen", &SettingStore::hidefullscreen},
    {"windowfloors", &SettingStore::windowfloors},
};

constexpr TextKey kActorKeys[] = {
    {"version", &SettingStore::version},           {"actorname", &SettingStore::actorname},
    {"actorddename", &SettingStore::actorddename}, {"actorpath", &SettingStore::actorpath},
    {"infofile", &SettingStore::infofile},         {"splashscreen", &SettingStore::splashscreen},
    {"iconfile", &SettingStore::iconfile},         {"activefile", &SettingStore::activefile},
    {"responsefile", &SettingStore::responsefile}, {"boredfile", &SettingStore::boredfile},
    {"sleepfile", &SettingStore::sleepfile},       {"fallfile", &SettingStore::fallfile},
};

template <size_t N>
bool SetNumeric(SettingStore& store, const NumericKey (&keys)[N], std::string_view key, std::string_view value) {
    for (const auto& k : keys) {
        if (key == k.key) {
            store.*(k.field) = NumberSetting(value);
            return true;
        }
    }
    return false;
}

template <size_t N, typename Key>
bool Holds(const Key (&keys)[N], std::string_view key) {
    for (const auto& k : keys)
        if (key == k.key) return true;
    return false;
}

}  // namespace

SettingKeyGroup SettingKeyGroupOf(std::string_view key) {
    if (Holds(kAnimationKeys, key)) return SettingKeyGroup::Animation;
    if (Holds(kPreferenceKeys, key)) return SettingKeyGroup::Preference;
    if (Holds(kActorKeys, key)) return SettingKeyGroup::Actor;
    return SettingKeyGroup::None;
}

bool SectionTakes(int sectioncode, SettingKeyGroup group) {
    switch (group) {
        case SettingKeyGroup::Animation: return sectioncode == 0;
        case SettingKeyGroup::Preference: return sectioncode == 1;
        case SettingKeyGroup::Actor: return sectioncode == 1 || sectioncode == 2;
        case SettingKeyGroup::None: return false;
    }
    return false;
}

std::string SettingLineKey(std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    return LowerCase(TrimBlanksView(line.substr(0, eq)));
}

bool IsEndLine(std::string_view line) {
    return EqualsNoCase(TrimBlanksView(line), "[end]");
}

void ParseSettingLine(SettingStore& store, std::string_view line, int sectioncode) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    const std::string key = SettingLineKey(line);
    const std::string_view value = TrimBlanksView(line.substr(eq + 1));

    if (sectioncode == 0 && SetNumeric(store, kAnimationKeys, key, value)) return;
    if (sectioncode == 1 && SetNumeric(store, kPreferenceKeys, key, value)) return;
    if (sectioncode == 1 || sectioncode == 2) {
        for (const auto& k : kActorKeys) {
            if (key == k.key) {
                if (k.field == &SettingStore::actorddename && store.program != SettingStore::Program::Actor)
                    return;  // only the actor program takes part in the link
                store.*(k.field) = std::string(value);
                return;
            }
        }
    }
}

// Errors raised while applying a line (overflow) get the file and line.
static void ApplyLine(SettingStore& store, const LineReader& reader, const std::string& line, int sectioncode) {
    try {
        ParseSettingLine(store, line, sectioncode);
    } catch (const RuntimeError& e) {
        throw e.WithFile(reader.name(), reader.lineNumber());
    }
}

void ReadSettingsActorLoop(SettingStore& store, LineReader& reader, int sectioncode) {
    std::string line = reader.ReadLine();
    for (;;) {
        ApplyLine(store, reader, line, sectioncode);
        line = reader.ReadLine();
        if (IsEndLine(line)) return;
    }
}

void ReadSettingsLauncherLoop(SettingStore& store, LineReader& reader, int sectioncode) {
    for (;;) {
        std::string line = reader.ReadLine();
        if (IsEndLine(line)) return;
        ApplyLine(store, reader, line, sectioncode);
    }
}

void ReadSettingsFile(SettingStore& store, const std::string& path, int sectioncode, LoopShape loop) {
    LineReader reader(path);
    if (loop == LoopShape::Actor) ReadSettingsActorLoop(store, reader, sectioncode);
    else ReadSettingsLauncherLoop(store, reader, sectioncode);
}

}  // namespace kobal
