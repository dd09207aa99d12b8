#pragma once
// The per-user install path setting (application "Kobaltron", section
// "Path", key "Application"), read and written through a port.
#include <optional>
#include <string>

namespace kobal {

class InstallPathStore {
  public:
    virtual ~InstallPathStore() = default;
    virtual std::optional<std::string> ReadApplicationPath() = 0;
    virtual void WriteApplicationPath(const std::string& path) = 0;
};

// The setting, or defaultPath when it is missing.
std::string ReadInstallPath(InstallPathStore& store, const std::string& defaultPath);

// The install directory used when the setting is missing: the directory that
// holds the running program's "resource" directory when it runs from one,
// else $XDG_DATA_HOME/kobaltron (~/.local/share/kobaltron).
std::string DefaultInstallPath(const std::string& programDirectory);

// installdir: the install path with "\" appended, as every reader builds it.
std::string InstallDirFrom(const std::string& installPath);

}  // namespace kobal
