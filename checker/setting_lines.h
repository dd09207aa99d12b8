#pragma once
// Setting lines as the actor program reads them, going on past a bad value
// so that every line gets its report: why a line changes nothing, values
// out of range, a missing "[end]".
#include <map>
#include <string>

#include "checker/report.h"
#include "common/settings.h"

namespace kobal {
class LineReader;
}

namespace kobal::checker {

enum class SettingsFileKind { Config, Actor, Animation };

struct SettingsRead {
    bool ended = false;
    int endLine = 0;                      // the "[end]" line, else the last line read
    std::map<std::string, int> keyLines;  // keys the section took, and their lines
};

// The actor program's reading loop under section code section.
SettingsRead ReadCheckedSettings(SettingStore& store, LineReader& reader, int section, SettingsFileKind kind,
                                 Report& report);

}  // namespace kobal::checker
