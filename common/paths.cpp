#include "common/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "common/text.h"

namespace kobal {

bool IsAbsolutePath(std::string_view path) {
    return path.find(':') != std::string_view::npos || (!path.empty() && path.front() == '/');
}

std::string NativePath(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        path.remove_prefix(2);
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

static bool StatPath(const std::string& p, struct stat* st) {
    return ::stat(p.c_str(), st) == 0;
}

bool ExistsExactly(std::string_view path) {
    struct stat st {};
    return StatPath(NativePath(path), &st);
}

std::string ParentDirectory(std::string_view nativePath) {
    const size_t slash = nativePath.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(nativePath.substr(0, slash));
}

static std::string Join(const std::string& built, const std::string& part, bool absolute) {
    if (built.empty()) return absolute ? "/" + part : part;
    return built + "/" + part;
}

std::string ResolvePath(std::string_view path) {
    const std::string native = NativePath(path);
    struct stat st {};
    if (native.empty() || StatPath(native, &st)) return native;

    // Keep each component that exists and match the others against their
    // directory's entries without regard to letter case.
    const bool absolute = native.front() == '/';
    std::string built;
    size_t start = 0;
    while (start < native.size()) {
        size_t slash = native.find('/', start);
        if (slash == std::string::npos) slash = native.size();
        const std::string part = native.substr(start, slash - start);
        start = slash + 1;
        if (part.empty()) continue;
        const std::string candidate = Join(built, part, absolute);
        if (part == "." || part == ".." || StatPath(candidate, &st)) {
            built = candidate;
            continue;
        }
        const std::string dir = built.empty() ? (absolute ? "/" : ".") : built;
        std::string found;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                if (EqualsNoCase(e->d_name, part)) {
                    found = e->d_name;
                    break;
                }
            }
            ::closedir(d);
        }
        if (found.empty()) return native;
        built = Join(built, found, absolute);
    }
    return built.empty() ? native : built;
}

std::string NativePathForCreate(std::string_view path) {
    const std::string native = NativePath(path);
    const size_t slash = native.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return native;
    return ResolvePath(native.substr(0, slash)) + native.substr(slash);
}

bool FileExists(std::string_view path) {
    struct stat st {};
    return StatPath(ResolvePath(path), &st) && S_ISREG(st.st_mode);
}

bool DirectoryExists(std::string_view path) {
    struct stat st {};
    return StatPath(ResolvePath(path), &st) && S_ISDIR(st.st_mode);
}

}  // namespace kobal
