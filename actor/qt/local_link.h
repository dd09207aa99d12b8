#pragma once
// The link between actors over a local socket. The hub listens on
// KOBALACTOR-Actor-DDEline in a directory only the user can open; members
// connect to it. A member's poke goes to the hub, whose item change reaches
// every other member; the sender never gets its own text back. Plain
// sockets watched by the event loop: an actor does not load Qt's network
// module (and what it pulls in) for one local socket.
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "actor/link_frame.h"
#include "actor/ports.h"

namespace kobal::actor::qt {

class LocalLink : public LinkPort {
  public:
    // changed: the DDEline change event, for every text that arrives.
    explicit LocalLink(std::function<void(const std::string&)> changed);
    ~LocalLink() override;

    bool OpenLink() override;
    void CloseLink() override;
    void Serve(bool serve) override;
    void SetItemText(const std::string& text) override;
    bool Poke(const std::string& text) override;
    bool ServesGroup() const override { return serving() || !wantServe_; }

    // The socket's directory and full name, made on first use.
    static std::string SocketDirectory();
    static std::string SocketPath();
    bool serving() const { return listenFd_ >= 0; }

  private:
    // One connected socket: to a member (in the hub) or to the hub.
    struct Connection {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> readable, writable;
        LinkFrameDecoder decoder;
        std::string pending;  // written when the socket takes it
        bool broken = false;
    };

    std::unique_ptr<Connection> Watch(int fd, bool member);
    void Close(std::unique_ptr<Connection> connection);
    // Sends now what the socket takes and keeps the rest; false when broken.
    bool Send(Connection& connection, const std::string& bytes);
    void Flush(Connection& connection);
    // Reads what has arrived; false when the peer has gone.
    bool Receive(Connection& connection);
    void Accept();
    // One line on stderr now and then, however many connections are refused.
    void Refused(const char* why);
    void ReadFromMember(int fd);
    void ReadFromHub();
    void DropMember(int fd);
    void Broadcast(const std::string& frame, int exceptFd);

    std::function<void(const std::string&)> changed_;
    int listenFd_ = -1;
    std::unique_ptr<QSocketNotifier> accepting_;
    QTimer acceptAgain_;      // out of file handles: accepting waits a moment
    bool wantServe_ = false;  // asked to serve, whether or not it could yet
    size_t maxMembers_ = 0;
    long long refusedCount_ = 0;  // since the last line said so
    long long refusedSaidMs_ = -1;
    std::map<int, std::unique_ptr<Connection>> members_;  // by socket
    std::unique_ptr<Connection> hub_;                     // the member's link
    unsigned long servedInode_ = 0;                       // our socket file, to notice a take-over
};

}  // namespace kobal::actor::qt
