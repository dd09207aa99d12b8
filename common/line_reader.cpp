#include "common/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal {

namespace {

// A FIFO would block the reader for ever, a device such as /dev/zero feed it
// without end, a socket cannot be read at all: each is taken as no file.
[[noreturn]] void NotARegularFile(const std::string& native, mode_t mode) {
    throw RuntimeError(ErrorNumber::FileNotFound, native, 0,
                       S_ISDIR(mode) ? "a directory, not a file" : "not a regular file");
}

[[noreturn]] void OpenFailed(int err, const std::string& native) {
    if (err == EACCES || err == EPERM) throw RuntimeError(ErrorNumber::PermissionDenied, native);
    if (err == ENOENT && !DirectoryExists(ParentDirectory(native)))
        throw RuntimeError(ErrorNumber::PathNotFound, native);
    // ENXIO: a socket, or a FIFO's other end; ELOOP: a link that leads nowhere.
    if (err == ENOENT || err == ENOTDIR || err == ENXIO || err == ELOOP)
        throw RuntimeError(ErrorNumber::FileNotFound, native);
    throw RuntimeError(ErrorNumber::PathFileAccessError, native);
}

// Past the UTF-8 byte-order mark that some editors put first; the bytes stay
// when they are something else.
void SkipByteOrderMark(std::FILE* f) {
    unsigned char head[3] = {};
    const size_t n = std::fread(head, 1, 3, f);
    if (n == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return;
    std::rewind(f);
}

}  // namespace

std::FILE* OpenForReading(const std::string& path, std::string* resolved) {
    const std::string native = ResolvePath(path);
    if (resolved) *resolved = native;
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) NotARegularFile(native, st.st_mode);
    // Non-blocking, so that a FIFO put in place after the check cannot hold
    // the open; the type is checked again on what was really opened.
    const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) OpenFailed(errno, native);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const mode_t mode = st.st_mode;
        ::close(fd);
        NotARegularFile(native, mode);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        throw RuntimeError(ErrorNumber::PathFileAccessError, native);
    }
    SkipByteOrderMark(f);
    return f;
}

RuntimeError LineTooLong(const std::string& file, int line) {
    return RuntimeError(ErrorNumber::OutOfStringSpace, file, line,
                        "a line longer than " + std::to_string(kMaxLineLength) + " characters");
}

LineReader::LineReader(const std::string& path) {
    file_ = OpenForReading(path, &name_);
}

LineReader::LineReader(std::string name, std::shared_ptr<const std::string> text)
    : name_(std::move(name)), text_(std::move(text)) {
    // A memory stream reads the same bytes through the same calls as the file.
    file_ = ::fmemopen(const_cast<char*>(text_->data()), text_->size(), "rb");
    if (!file_) throw RuntimeError(ErrorNumber::PathFileAccessError, name_);
}

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
        if (line.size() >= kMaxLineLength) throw LineTooLong(name_, line_);
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace kobal
