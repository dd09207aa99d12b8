#pragma once
// The link between actors over a local socket. The hub listens on
// KOBALACTOR-Actor-DDEline in a directory only the user can open; members
// connect to it. A member's poke goes to the hub, whose item change reaches
// every other member; the sender never gets its own text back.
#include <QLocalServer>
#include <QLocalSocket>
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

    // The socket's directory and full name, made on first use.
    static std::string SocketDirectory();
    static std::string SocketPath();
    bool serving() const { return server_ && server_->isListening(); }
    int members() const { return static_cast<int>(members_.size()); }

private:
    void Accept();
    void ReadFromMember(QLocalSocket* member);
    void ReadFromHub();
    void DropMember(QLocalSocket* member);
    void Broadcast(const std::string& frame, QLocalSocket* except);

    std::function<void(const std::string&)> changed_;
    std::unique_ptr<QLocalServer> server_;
    std::map<QLocalSocket*, LinkFrameDecoder> members_;
    QLocalSocket* hub_ = nullptr;  // the member's link; deleted later, never in its own slot
    LinkFrameDecoder fromHub_;
    unsigned long servedInode_ = 0;  // our socket file, to notice a take-over
};

}  // namespace kobal::actor::qt
