#include "checker/setting_lines.h"

#include "common/line_reader.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::checker {
namespace {

// Why a line whose key the section does not take changes nothing.
void WarnIgnoredKey(const std::string& key, SettingKeyGroup group, SettingsFileKind kind, const Where& at,
                    Report& report) {
    if (group == SettingKeyGroup::None) {
        const std::string hint = key.find('\t') != std::string::npos ? " (a tab is not a blank here)" : std::string();
        report.Warning(at, "unknown key " + Quoted(key) + hint + ": the line is ignored");
    } else if (kind == SettingsFileKind::Animation) {
        report.Warning(at, Quoted(key) + " is not an animation key: the line is ignored");
    } else if (group == SettingKeyGroup::Animation) {
        report.Warning(at, Quoted(key) + " belongs in animation files: the line is ignored");
    } else {
        report.Warning(at, Quoted(key) + " is ignored: config.kcfg sets overrideactor=1");
    }
}

void ApplyChecked(SettingStore& store, const LineReader& reader, const std::string& line, int section,
                  SettingsFileKind kind, SettingsRead& read, Report& report) {
    const Where at{reader.name(), reader.lineNumber()};
    const std::string key = SettingLineKey(line);
    if (key.empty()) return;

    const SettingKeyGroup group = SettingKeyGroupOf(key);
    if (SectionTakes(section, group)) read.keyLines[key] = at.line;
    else WarnIgnoredKey(key, group, kind, at, report);

    try {
        ParseSettingLine(store, line, section);
    } catch (const RuntimeError&) {
        report.Error(at, Quoted(TrimBlanks(line)) + " is out of range (-32768 to 32767): Overflow");
    }
}

}  // namespace

SettingsRead ReadCheckedSettings(SettingStore& store, LineReader& reader, int section, SettingsFileKind kind,
                                 Report& report) {
    SettingsRead read;
    std::string line;
    try {
        reader.ReadLine(line);
        if (IsEndLine(line)) {
            report.Warning({reader.name(), 1}, kind == SettingsFileKind::Animation
                                                   ? "a first line \"[end]\" does not end the header: it is read on "
                                                     "to the next \"[end]\""
                                                   : "a first line \"[end]\" is read past by the actor program but "
                                                     "ends the launcher's reading");
        }
        for (;;) {
            ApplyChecked(store, reader, line, section, kind, read, report);
            reader.ReadLine(line);
            if (IsEndLine(line)) {
                read.ended = true;
                read.endLine = reader.lineNumber();
                return read;
            }
        }
    } catch (const RuntimeError& e) {
        if (e.number() != ErrorNumber::InputPastEndOfFile) throw;
        read.endLine = reader.lineNumber() > 0 ? reader.lineNumber() : 1;
        report.Error({reader.name(), read.endLine},
                     "no \"[end]\" line: reading runs past the end of the file (Input past end of file)");
        return read;
    }
}

}  // namespace kobal::checker
