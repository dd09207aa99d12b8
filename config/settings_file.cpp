#include "config/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::config {

std::string PrintedNumber(int value) {
    const std::string digits = std::to_string(value);
    return value < 0 ? digits + " " : " " + digits + " ";
}

std::string NumberText(double value) {
    if (!std::isfinite(value)) throw RuntimeError(ErrorNumber::Overflow);
    if (value == 0) return "0";  // also -0
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text = buffer;
    if (text.rfind("0.", 0) == 0) text.erase(0, 1);
    else if (text.rfind("-0.", 0) == 0) text.erase(1, 1);
    return text;
}

SettingsValues DefaultSettings() {
    SettingsValues v;
    v.priorityup = "100";
    v.speedup = "100";
    v.audioon = 1;
    v.showsplash = 1;
    v.boredtime = "180";
    v.sleeptime = "360";
    v.hibernatetime = "28800";
    v.initialpriority = 1;  // "2:Bored"
    v.transparencyoff = 0;
    v.overrideactor = 0;
    v.hidefullscreen = 0;
    v.windowfloors = 1;
    return v;
}

static std::string OneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

std::string SettingsFileText(const SettingsValues& v) {
    std::string out;
    auto line = [&out](std::string_view key, const std::string& value) {
        out.append(key).append(value).append("\r\n");
    };
    line("priorityup =", OneLine(v.priorityup));
    line("speedup=", OneLine(v.speedup));
    line("audioon=", PrintedNumber(v.audioon));
    line("showsplash=", PrintedNumber(v.showsplash));
    line("boredtime=", OneLine(v.boredtime));
    line("sleeptime=", OneLine(v.sleeptime));
    line("hibernatetime=", OneLine(v.hibernatetime));
    line("initialpriority=", PrintedNumber(v.initialpriority));
    line("transparencyoff=", PrintedNumber(v.transparencyoff));
    line("overrideactor=", PrintedNumber(v.overrideactor));
    line("hidefullscreen=", PrintedNumber(v.hidefullscreen));
    line("windowfloors=", PrintedNumber(v.windowfloors));
    out.append("[end]\r\n");
    return out;
}

namespace {

ErrorNumber ErrorFor(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR: return ErrorNumber::PathNotFound;
        case EACCES:
        case EPERM:
        case EROFS: return ErrorNumber::PermissionDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ErrorNumber::DiskFull;
        case EIO: return ErrorNumber::DeviceIOError;
        default: return ErrorNumber::PathFileAccessError;
    }
}

[[noreturn]] void Fail(int err, const std::string& path) {
    throw RuntimeError(ErrorFor(err), path, 0, std::strerror(err));
}

// The temporary file, removed again unless it was renamed into place.
class TempFile {
  public:
    explicit TempFile(const std::string& target) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            name_ = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
            // 0666 lets the umask decide, as for any new file of the user.
            fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) break;
        }
        if (fd_ < 0) Fail(errno, target);
    }
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(name_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void Keep() { kept_ = true; }

  private:
    std::string name_;
    int fd_ = -1;
    bool kept_ = false;
};

// Temporary files of writes killed before their rename ("config.kcfg.tmp<pid>-N")
// go, unless their process still runs.
void RemoveLeftTemporaries(const std::string& target) {
    const std::string dir = ParentDirectory(target);
    const std::string prefix = target.substr(target.find_last_of('/') + 1) + ".tmp";
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || dash > 9 || dash + 1 == rest.size()) continue;
        if (rest.find_first_not_of("0123456789-") != std::string::npos || rest.find('-', dash + 1) != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
        if (pid == ::getpid()) continue;
        if (pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM)) continue;  // still writing
        ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
}

}  // namespace

bool DirectoryWritable(const std::string& nativeDirectory) {
    return ::access(nativeDirectory.c_str(), W_OK | X_OK) == 0;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    // A settings file that is a link to another file stays a link: the
    // file it points to is the one replaced.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    if (!DirectoryExists(ParentDirectory(target))) throw RuntimeError(ErrorNumber::PathNotFound, path);

    // A file marked read-only stays as it is, though its folder would let a
    // rename replace it (and though root could write it).
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISREG(old.st_mode) &&
        ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0))
        Fail(EACCES, path);

    RemoveLeftTemporaries(target);
    TempFile temp(target);
    if (exists && S_ISREG(old.st_mode)) ::fchmod(temp.fd(), old.st_mode & 07777);

    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(temp.fd(), data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, path);
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(temp.fd()) != 0) Fail(errno, path);
    if (temp.Close() != 0) Fail(errno, path);
    if (::rename(temp.name().c_str(), target.c_str()) != 0) Fail(errno, path);
    temp.Keep();

    // Make the rename itself durable.
    const int dir = ::open(ParentDirectory(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace kobal::config
