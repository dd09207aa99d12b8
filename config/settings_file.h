#pragma once
// The global settings file as the configuration tool writes it, the number
// forms it uses, and the write that never leaves a half-written file.
#include <cstdint>
#include <string>
#include <string_view>

namespace kobal::config {

// What "OK" writes: text boxes as typed, check boxes and the list as integers.
struct SettingsValues {
    std::string priorityup;
    std::string speedup;
    int audioon = 0;
    int showsplash = 0;
    std::string boredtime;
    std::string sleeptime;
    std::string hibernatetime;
    int initialpriority = 0;
    int transparencyoff = 0;
    int overrideactor = 0;
    int hidefullscreen = 0;  // a later key: older readers ignore it
    int windowfloors = 0;    // later still: a file without it keeps it off
    bool operator==(const SettingsValues&) const = default;
};

// The settings a new install starts from: what "Default" shows, what the
// input checks put back, and what the product's own config.kcfg holds.
SettingsValues DefaultSettings();

// The number-printing form: a blank (or the minus sign) before the digits
// and one blank after them, so 1 gives " 1 " and -1 gives "-1 ".
std::string PrintedNumber(int value);

// Decimal text of a computed value as it goes into a text box: no blanks,
// up to 15 significant digits, no zero before the decimal point (0.5 gives
// ".5"), exponent form "6E-09" for very small or large values.
std::string NumberText(double value);

// The whole file: twelve lines and "[end]", each ended by CR LF. A text value
// loses any line break in it, so one setting stays one line.
std::string SettingsFileText(const SettingsValues& values);

// Replaces the file at a native path with bytes: they go to a temporary file
// beside it, are flushed to disk, and the temporary file is renamed over the
// old one, so the old file stays whole when writing fails. A file that is
// read-only (no write permission for anyone, or none for this user) is left
// as it is. Temporary files left by earlier writes that were killed go.
// Raises Path not found, Permission denied, Disk full, Device I/O error or
// Path/File access error naming the file.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// True when this user may create and rename files in the directory.
bool DirectoryWritable(const std::string& nativeDirectory);

}  // namespace kobal::config
