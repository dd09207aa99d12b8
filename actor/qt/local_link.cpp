#include "actor/qt/local_link.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kobal::actor::qt {

namespace {

// A peer that stops reading must not make us hoard its texts.
constexpr size_t kMaxPendingBytes = 1 << 20;
constexpr int kBacklog = 50;
// Far more actors than anyone runs; a flood beyond it must not take the
// hub's file handles (it still has lists and pictures to open).
constexpr size_t kMaxMembers = 256;
// How long a start waits for another actor that is taking the name; after
// that it runs without the link and tries again at its next link tick.
constexpr int kLockWaitMs = 100;
constexpr long long kRefusedSayEveryMs = 60000;

bool PrivateDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return false;
    return true;
}

bool SameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::getuid();
}

long long MonotonicMs();

// Serialises the stale-socket test and take-over between actors starting
// at the same moment. Never waits long: whoever holds it may be stuck.
class DirectoryLock {
  public:
    DirectoryLock(const std::string& dir, int waitMs) {
        fd_ = ::open((dir + "/link.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) return;
        const long long deadline = MonotonicMs() + waitMs;
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            if (MonotonicMs() >= deadline) return;
            ::usleep(10000);
        }
    }
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool held() const { return held_; }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

  private:
    int fd_ = -1;
    bool held_ = false;
};

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool Address(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

long long MonotonicMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A connected, non-blocking socket to whoever listens at path, or -1. A
// full backlog is waited out for up to timeoutMs.
int ConnectTo(const std::string& path, int timeoutMs) {
    sockaddr_un address;
    if (!Address(path, address)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const long long deadline = MonotonicMs() + timeoutMs;
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
        if (errno == EINTR) continue;
        if (errno != EAGAIN || MonotonicMs() >= deadline) break;
        ::usleep(5000);
    }
    ::close(fd);
    return -1;
}

// A listening socket at path, or -1 with errno telling why.
int ListenAt(const std::string& path) {
    sockaddr_un address;
    if (!Address(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, kBacklog) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return -1;
    }
    ::chmod(path.c_str(), 0600);
    return fd;
}

// Qt may still be delivering the notifier's own signal: it goes later.
void Retire(std::unique_ptr<QSocketNotifier>& notifier) {
    if (!notifier) return;
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

}  // namespace

std::string LocalLink::SocketDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime ? std::string(runtime) : "/tmp/kobaltron-" + std::to_string(::getuid());
    if (!(runtime && *runtime) && !PrivateDirectory(base)) return {};
    const std::string dir = base + "/kobaltron";
    return PrivateDirectory(dir) ? dir : std::string();
}

std::string LocalLink::SocketPath() {
    const std::string dir = SocketDirectory();
    return dir.empty() ? std::string() : dir + "/KOBALACTOR-Actor-DDEline";
}

LocalLink::LocalLink(std::function<void(const std::string&)> changed) : changed_(std::move(changed)) {
    rlimit files{};
    maxMembers_ = kMaxMembers;
    // Half the handles at most, whatever the user's limit.
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        maxMembers_ = std::min<size_t>(kMaxMembers, std::max<size_t>(8, files.rlim_cur / 2));
    acceptAgain_.setSingleShot(true);
    QObject::connect(&acceptAgain_, &QTimer::timeout, [this] {
        if (accepting_) accepting_->setEnabled(true);
    });
}

LocalLink::~LocalLink() {
    CloseLink();
    Serve(false);
}

std::unique_ptr<LocalLink::Connection> LocalLink::Watch(int fd, bool member) {
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connection->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connection->writable->setEnabled(false);
    if (member) {
        QObject::connect(connection->readable.get(), &QSocketNotifier::activated, [this, fd] { ReadFromMember(fd); });
        QObject::connect(connection->writable.get(), &QSocketNotifier::activated, [this, fd] {
            auto it = members_.find(fd);
            if (it == members_.end()) return;
            Flush(*it->second);
            if (it->second->broken) DropMember(fd);
        });
    } else {
        QObject::connect(connection->readable.get(), &QSocketNotifier::activated, [this, fd] {
            if (hub_ && hub_->fd == fd) ReadFromHub();
        });
        QObject::connect(connection->writable.get(), &QSocketNotifier::activated, [this, fd] {
            if (!hub_ || hub_->fd != fd) return;
            Flush(*hub_);
            if (hub_->broken) CloseLink();
        });
    }
    return connection;
}

void LocalLink::Close(std::unique_ptr<Connection> connection) {
    if (!connection) return;
    Retire(connection->readable);
    Retire(connection->writable);
    ::close(connection->fd);
}

bool LocalLink::Send(Connection& connection, const std::string& bytes) {
    if (connection.broken) return false;
    if (!connection.pending.empty()) {
        connection.pending += bytes;
        return true;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(connection.fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            connection.broken = true;
            return false;
        }
    }
    if (done < bytes.size()) {
        connection.pending.assign(bytes, done, std::string::npos);
        connection.writable->setEnabled(true);
    }
    return true;
}

void LocalLink::Flush(Connection& connection) {
    size_t done = 0;
    while (done < connection.pending.size()) {
        const ssize_t n =
            ::send(connection.fd, connection.pending.data() + done, connection.pending.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            connection.broken = true;
            break;
        }
    }
    connection.pending.erase(0, done);
    if (connection.pending.empty() || connection.broken) connection.writable->setEnabled(false);
}

// One read per turn of the event loop: what is left wakes it again.
bool LocalLink::Receive(Connection& connection) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(connection.fd, buffer, sizeof buffer);
        if (n > 0) {
            connection.decoder.Append(std::string_view(buffer, static_cast<size_t>(n)));
            return true;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool LocalLink::OpenLink() {
    const std::string path = SocketPath();
    if (path.empty()) return false;
    if (serving()) {
        // Only one actor can serve the name: while it is ours, nobody else does.
        if (InodeOf(path) == servedInode_) return false;
        Serve(false);
    }
    CloseLink();
    const int fd = ConnectTo(path, 200);
    if (fd < 0) return false;
    hub_ = Watch(fd, false);
    return true;
}

void LocalLink::CloseLink() {
    Close(std::move(hub_));
}

void LocalLink::Serve(bool serve) {
    wantServe_ = serve;
    if (!serve) {
        acceptAgain_.stop();
        for (auto& [fd, member] : members_) Close(std::move(member));
        members_.clear();
        if (listenFd_ >= 0) {
            Retire(accepting_);
            ::close(listenFd_);
            listenFd_ = -1;
            // Our own socket file only: another hub may have taken the name.
            const std::string path = SocketPath();
            if (!path.empty() && InodeOf(path) == servedInode_) ::unlink(path.c_str());
        }
        servedInode_ = 0;
        return;
    }
    if (serving()) return;
    const std::string dir = SocketDirectory();
    if (dir.empty()) return;
    const std::string path = dir + "/KOBALACTOR-Actor-DDEline";
    DirectoryLock lock(dir, kLockWaitMs);
    if (!lock.held()) return;
    int fd = ListenAt(path);
    if (fd < 0) {
        if (errno != EADDRINUSE) return;
        // Someone alive serves it: this actor joins that hub at its re-join.
        if (const int probe = ConnectTo(path, 100); probe >= 0) {
            ::close(probe);
            return;
        }
        // Left behind by a hub that died: take it over.
        ::unlink(path.c_str());
        fd = ListenAt(path);
        if (fd < 0) return;
    }
    listenFd_ = fd;
    servedInode_ = InodeOf(path);
    accepting_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(accepting_.get(), &QSocketNotifier::activated, [this] { Accept(); });
}

void LocalLink::Accept() {
    while (listenFd_ >= 0) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The waiting connection stays queued and would wake us at
                // once again: stop listening for a second instead of spinning.
                Refused("out of file handles");
                if (accepting_) accepting_->setEnabled(false);
                acceptAgain_.start(1000);
            }
            return;
        }
        if (!SameUser(fd)) {
            ::close(fd);
            continue;
        }
        if (members_.size() >= maxMembers_) {
            ::close(fd);
            Refused("too many connections");
            continue;
        }
        members_.emplace(fd, Watch(fd, true));
    }
}

void LocalLink::Refused(const char* why) {
    ++refusedCount_;
    const long long now = MonotonicMs();
    if (refusedSaidMs_ >= 0 && now - refusedSaidMs_ < kRefusedSayEveryMs) return;
    std::fprintf(stderr, "kobalactor (link between actors): %s (%zu actors linked), %lld connection%s refused\n", why,
                 members_.size(), refusedCount_, refusedCount_ == 1 ? "" : "s");
    refusedSaidMs_ = now;
    refusedCount_ = 0;
}

void LocalLink::DropMember(int fd) {
    auto it = members_.find(fd);
    if (it == members_.end()) return;
    std::unique_ptr<Connection> member = std::move(it->second);
    members_.erase(it);
    Close(std::move(member));
}

void LocalLink::Broadcast(const std::string& frame, int exceptFd) {
    std::vector<int> stalled;
    for (auto& [fd, member] : members_) {
        if (fd == exceptFd) continue;
        if (!Send(*member, frame) || member->pending.size() > kMaxPendingBytes) stalled.push_back(fd);
    }
    for (int fd : stalled) DropMember(fd);
}

void LocalLink::ReadFromMember(int fd) {
    auto it = members_.find(fd);
    if (it == members_.end()) return;
    const bool open = Receive(*it->second);
    std::string text;
    for (;;) {
        it = members_.find(fd);
        if (it == members_.end()) return;
        const auto result = it->second->decoder.Next(text);
        if (result == LinkFrameDecoder::Result::NeedMore) break;
        if (result == LinkFrameDecoder::Result::Bad) {
            DropMember(fd);
            return;
        }
        // The hub's item changes: every other member, then its own change event.
        Broadcast(EncodeLinkFrame(text), fd);
        changed_(text);
    }
    if (!open) DropMember(fd);
}

void LocalLink::ReadFromHub() {
    const bool open = Receive(*hub_);
    std::string text;
    for (;;) {
        if (!hub_) return;
        const auto result = hub_->decoder.Next(text);
        if (result == LinkFrameDecoder::Result::NeedMore) break;
        if (result == LinkFrameDecoder::Result::Bad) {
            CloseLink();
            return;
        }
        changed_(text);
    }
    if (!open) CloseLink();
}

void LocalLink::SetItemText(const std::string& text) {
    if (serving()) Broadcast(EncodeLinkFrame(text), -1);
}

bool LocalLink::Poke(const std::string& text) {
    if (!hub_) return false;
    if (!Send(*hub_, EncodeLinkFrame(text)) || hub_->pending.size() > kMaxPendingBytes) {
        CloseLink();
        return false;
    }
    return true;
}

}  // namespace kobal::actor::qt
