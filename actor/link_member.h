#pragma once
// The actor's place on the link between actors: a star of one hub and its
// members. Arrivals are queued and worked off once a second; link failures
// never reach the user.
#include <cstdint>
#include <deque>
#include <string>

#include "actor/ports.h"
#include "common/random.h"
#include "common/settings.h"

namespace kobal::actor {

// What a link command may do to the actor.
class LinkHost {
  public:
    virtual ~LinkHost() = default;
    virtual void EndActor() = 0;
    // Plays one of the actor's own lists; a run-time error on the way puts
    // the actor back as it was and is not raised.
    virtual void PlayListFromLink(std::string& list) = 0;
};

class LinkMember {
  public:
    LinkMember(const SettingStore& settings, LinkPort& link, RandomSource& random, LinkHost& host);

    void JoinActorLink();
    void SendLinkMessage(const std::string& text);
    // A text arrived from another actor (classic DDEline_Change).
    void TextArrived(const std::string& text);
    // Once a second (classic DDETimer_Timer): runs what arrived, pings the hub.
    void LinkClockTick();
    void RunLinkCommand(const std::string& command);

    bool isHub() const { return hub_ != 0; }
    // The last text set or received (classic DDEline).
    const std::string& lastText() const { return itemText_; }
    size_t waiting() const { return arrivals_.size(); }

  private:
    const SettingStore& settings_;
    LinkPort& link_;
    RandomSource& random_;
    LinkHost& host_;
    int16_t hub_ = 0;                   // 1: this actor serves the group (classic linkhub)
    std::deque<std::string> arrivals_;  // texts waiting for the next tick (classic DDEcache)
    std::string itemText_;              // classic DDEline
};

}  // namespace kobal::actor
