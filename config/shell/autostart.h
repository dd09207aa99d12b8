#pragma once
// "Start these actors when I log in": an XDG autostart entry that runs the
// launcher on one actor file or playlist. Only this entry is ever written
// or removed in the autostart folder.
#include <optional>
#include <string>

#include "common/message_box.h"

namespace kobal::shell {

// The few file operations the entry needs, so tests can watch them.
class EntryFiles {
  public:
    virtual ~EntryFiles() = default;
    virtual bool Exists(const std::string& path) = 0;
    virtual std::optional<std::string> Read(const std::string& path) = 0;
    // Creates missing parent folders; false with `reason` on failure.
    virtual bool Write(const std::string& path, const std::string& text, std::string& reason) = 0;
    // True when the file is gone afterwards (also when it never was there).
    virtual bool Remove(const std::string& path, std::string& reason) = 0;
};

class PosixEntryFiles : public EntryFiles {
  public:
    bool Exists(const std::string& path) override;
    std::optional<std::string> Read(const std::string& path) override;
    bool Write(const std::string& path, const std::string& text, std::string& reason) override;
    bool Remove(const std::string& path, std::string& reason) override;
};

// Name of the entry inside $XDG_CONFIG_HOME/autostart.
inline constexpr const char* kAutostartEntryName = "kobaltron-actors.desktop";

class Autostart {
  public:
    // configHome: $XDG_CONFIG_HOME; installdir: the install directory with its trailing separator.
    Autostart(EntryFiles& files, MessageBoxPort& boxes, std::string configHome, std::string installdir);

    std::string EntryPath() const { return configHome_ + "/autostart/" + kAutostartEntryName; }
    // The file the entry starts, or nothing when there is no entry of ours.
    std::optional<std::string> Current();
    // Writes the entry for an existing actor file or playlist (an absolute
    // name); says what is wrong otherwise. True when the entry is written.
    bool Choose(const std::string& file);
    // Removes the entry; true when none is left.
    bool Remove();

    // The entry's text for the launcher program and the file.
    static std::string EntryText(const std::string& launcher, const std::string& file);

  private:
    EntryFiles& files_;
    MessageBoxPort& boxes_;
    std::string configHome_;
    std::string installdir_;
};

}  // namespace kobal::shell
