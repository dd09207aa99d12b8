#include "actor/qt/local_link.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kobal::actor::qt {

namespace {

// A member that stops reading must not make the hub hoard its texts.
constexpr qint64 kMaxPendingBytes = 1 << 20;

bool PrivateDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) return false;
    return true;
}

bool SameUser(QLocalSocket* socket) {
    ucred cred {};
    socklen_t len = sizeof cred;
    if (::getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0)
        return false;
    return cred.uid == ::getuid();
}

// Serialises the stale-socket test and take-over between actors starting
// at the same moment.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& dir) {
        fd_ = ::open((dir + "/link.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ >= 0) ::flock(fd_, LOCK_EX);
    }
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    int fd_ = -1;
};

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
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

LocalLink::LocalLink(std::function<void(const std::string&)> changed) : changed_(std::move(changed)) {}

LocalLink::~LocalLink() {
    CloseLink();
    Serve(false);
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
    auto* hub = new QLocalSocket;
    hub->connectToServer(QString::fromStdString(path));
    if (!hub->waitForConnected(200)) {
        delete hub;
        return false;
    }
    hub_ = hub;
    fromHub_ = LinkFrameDecoder();
    QObject::connect(hub, &QLocalSocket::readyRead, [this, hub] {
        if (hub == hub_) ReadFromHub();
    });
    return true;
}

void LocalLink::CloseLink() {
    if (!hub_) return;
    QLocalSocket* hub = hub_;
    hub_ = nullptr;
    hub->disconnect();
    hub->abort();
    hub->deleteLater();
}

void LocalLink::Serve(bool serve) {
    if (!serve) {
        for (auto& [member, decoder] : members_) {
            member->disconnect();
            member->abort();
            member->deleteLater();
        }
        members_.clear();
        if (server_) server_->close();
        server_.reset();
        servedInode_ = 0;
        return;
    }
    if (serving()) return;
    const std::string dir = SocketDirectory();
    if (dir.empty()) return;
    const std::string path = dir + "/KOBALACTOR-Actor-DDEline";
    const QString name = QString::fromStdString(path);
    DirectoryLock lock(dir);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // Someone alive serves it: this actor joins that hub at its re-join.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(100)) {
            probe.abort();
            return;
        }
        // Left behind by a hub that died: take it over.
        QLocalServer::removeServer(name);
        if (!server->listen(name)) return;
    }
    server_ = std::move(server);
    servedInode_ = InodeOf(path);
    QObject::connect(server_.get(), &QLocalServer::newConnection, [this] { Accept(); });
}

void LocalLink::Accept() {
    while (server_ && server_->hasPendingConnections()) {
        QLocalSocket* member = server_->nextPendingConnection();
        if (!SameUser(member)) {
            member->abort();
            member->deleteLater();
            continue;
        }
        members_.emplace(member, LinkFrameDecoder());
        QObject::connect(member, &QLocalSocket::readyRead, [this, member] { ReadFromMember(member); });
        QObject::connect(member, &QLocalSocket::disconnected, [this, member] { DropMember(member); });
    }
}

void LocalLink::DropMember(QLocalSocket* member) {
    auto it = members_.find(member);
    if (it == members_.end()) return;
    members_.erase(it);
    member->disconnect();
    member->abort();
    member->deleteLater();
}

void LocalLink::Broadcast(const std::string& frame, QLocalSocket* except) {
    std::vector<QLocalSocket*> stalled;
    for (auto& [member, decoder] : members_) {
        if (member == except) continue;
        member->write(frame.data(), static_cast<qint64>(frame.size()));
        if (member->bytesToWrite() > kMaxPendingBytes) stalled.push_back(member);
    }
    for (QLocalSocket* member : stalled) DropMember(member);
}

void LocalLink::ReadFromMember(QLocalSocket* member) {
    auto it = members_.find(member);
    if (it == members_.end()) return;
    const QByteArray bytes = member->readAll();
    it->second.Append(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    std::string text;
    for (;;) {
        it = members_.find(member);
        if (it == members_.end()) return;
        const auto result = it->second.Next(text);
        if (result == LinkFrameDecoder::Result::NeedMore) return;
        if (result == LinkFrameDecoder::Result::Bad) {
            DropMember(member);
            return;
        }
        // The hub's item changes: its own change event, then every other member.
        Broadcast(EncodeLinkFrame(text), member);
        changed_(text);
    }
}

void LocalLink::ReadFromHub() {
    const QByteArray bytes = hub_->readAll();
    fromHub_.Append(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    std::string text;
    for (;;) {
        const auto result = fromHub_.Next(text);
        if (result == LinkFrameDecoder::Result::NeedMore) return;
        if (result == LinkFrameDecoder::Result::Bad) {
            CloseLink();
            return;
        }
        changed_(text);
        if (!hub_) return;
    }
}

void LocalLink::SetItemText(const std::string& text) {
    if (serving()) Broadcast(EncodeLinkFrame(text), nullptr);
}

bool LocalLink::Poke(const std::string& text) {
    if (!hub_ || hub_->state() != QLocalSocket::ConnectedState) return false;
    const std::string frame = EncodeLinkFrame(text);
    if (hub_->write(frame.data(), static_cast<qint64>(frame.size())) < 0) return false;
    hub_->flush();
    return hub_->state() == QLocalSocket::ConnectedState;
}

}  // namespace kobal::actor::qt
