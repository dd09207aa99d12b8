#include "common/install_path.h"

#include <cstdlib>

#include "common/paths.h"
#include "common/text.h"

namespace kobal {

std::string ReadInstallPath(InstallPathStore& store, const std::string& defaultPath) {
    auto value = store.ReadApplicationPath();
    return value ? *value : defaultPath;
}

std::string DefaultInstallPath(const std::string& programDirectory) {
    std::string dir = programDirectory;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && EqualsNoCase(dir.substr(slash + 1), "resource"))
        return slash == 0 ? "/" : dir.substr(0, slash);
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/kobaltron";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/kobaltron";
}

std::string InstallDirFrom(const std::string& installPath) {
    return installPath + "\\";
}

}  // namespace kobal
