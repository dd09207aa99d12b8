#include "checker/file_locator.h"

#include <sys/stat.h>

#include <vector>

#include "common/paths.h"

namespace kobal::checker {
namespace {

// Blanks next to "|" or "@" belong to the name; that is the usual reason
// why a name that looks right is not found.
std::string BlankHint(const std::string& name) {
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) return " (the blanks belong to the name)";
    return {};
}

// Doubled separators are one on the file system: the names alone.
std::vector<std::string> PathNames(const std::string& path) {
    std::vector<std::string> names;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) names.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) return names;
        start = slash + 1;
    }
}

}  // namespace

bool IsRegularFile(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

Located FileLocator::Locate(const std::string& systemPath, const Where& namedAt, const std::string& what,
                            const std::string& name, Severity missing, const std::string& consequence) {
    const std::string written = NativePath(systemPath);
    if (ExistsExactly(written) && IsRegularFile(written)) return {true, written};
    const std::string resolved = ResolvePath(systemPath);
    if (IsRegularFile(resolved)) {
        WarnLetterCase(written, resolved, namedAt.file.empty() ? Where{resolved, 0} : namedAt);
        return {true, resolved};
    }
    if (namedAt.file.empty()) report_.Add({written, 0}, missing, what + " not found" + consequence);
    else
        report_.Add(
            namedAt, missing,
            what + " " + Quoted(name) + " not found: " + report_.Display(written) + BlankHint(name) + consequence);
    return {false, written};
}

void FileLocator::WarnLetterCase(const std::string& written, const std::string& resolved, const Where& at) {
    const std::vector<std::string> a = PathNames(written);
    const std::vector<std::string> b = PathNames(resolved);
    std::string prefix;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        prefix += "/" + b[i];
        if (a[i] == b[i]) continue;
        // One warning per directory or file that differs, however many names lead through it.
        if (!caseSeen_.insert(prefix).second) return;
        report_.Warning(at, Quoted(a[i]) + " matches " + Quoted(b[i]) +
                                " only with another letter case: " + report_.Display(resolved));
        return;
    }
}

}  // namespace kobal::checker
