#include "common/line_reader.h"

#include <cerrno>
#include <sys/stat.h>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal {

std::FILE* OpenForReading(const std::string& path, std::string* resolved) {
    const std::string native = ResolvePath(path);
    if (resolved) *resolved = native;
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RuntimeError(ErrorNumber::FileNotFound, native, 0, "a directory, not a file");
    std::FILE* f = std::fopen(native.c_str(), "rb");
    if (!f) {
        const int err = errno;
        if (err == EACCES) throw RuntimeError(ErrorNumber::PermissionDenied, native);
        if (err == ENOENT && !DirectoryExists(ParentDirectory(native)))
            throw RuntimeError(ErrorNumber::PathNotFound, native);
        if (err == ENOENT || err == ENOTDIR) throw RuntimeError(ErrorNumber::FileNotFound, native);
        throw RuntimeError(ErrorNumber::PathFileAccessError, native);
    }
    return f;
}

LineReader::LineReader(const std::string& path) { file_ = OpenForReading(path, &name_); }

LineReader::~LineReader() {
    if (file_) std::fclose(file_);
}

bool LineReader::AtEnd() {
    const int c = std::fgetc(file_);
    if (c == EOF) return true;
    std::ungetc(c, file_);
    return false;
}

std::string LineReader::ReadLine() {
    std::string line;
    ReadLine(line);
    return line;
}

void LineReader::ReadLine(std::string& line) {
    line.clear();
    int c = std::fgetc(file_);
    if (c == EOF) {
        if (std::ferror(file_)) throw RuntimeError(ErrorNumber::DeviceIOError, name_, line_ + 1);
        throw RuntimeError(ErrorNumber::InputPastEndOfFile, name_, line_ + 1);
    }
    ++line_;
    for (; c != EOF; c = std::fgetc(file_)) {
        if (c == '\n') return;
        if (c == '\r') {
            const int next = std::fgetc(file_);
            if (next != '\n' && next != EOF) std::ungetc(next, file_);
            return;
        }
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace kobal
