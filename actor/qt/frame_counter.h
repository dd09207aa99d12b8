#pragma once
// For the desktop benchmark: counts the frames an actor shows. Every frame
// display ends in a move of the window, whether or not it moves, so the
// count is that of the moves the logic asks for. The count is kept in the
// file <dir>/<pid>, mapped into memory so that counting costs no system call,
// and read by the benchmark while the actor runs.
#include <cstdint>
#include <string>

#include "actor/ports.h"

namespace kobal::actor::qt {

class FrameCountingWindow final : public ActorWindowPort {
  public:
    // Counts into <dir>/<this process's id>; when that file cannot be made,
    // the window is only passed through.
    FrameCountingWindow(ActorWindowPort& window, const std::string& dir);
    ~FrameCountingWindow() override;
    FrameCountingWindow(const FrameCountingWindow&) = delete;
    FrameCountingWindow& operator=(const FrameCountingWindow&) = delete;

    void SetSize(int32_t widthTwips, int32_t heightTwips) override { window_.SetSize(widthTwips, heightTwips); }
    void Move(int32_t leftTwips, int32_t topTwips) override;
    void SetPicture(const std::string& path) override { window_.SetPicture(path); }
    void SetKeyColor(int32_t keyColor) override { window_.SetKeyColor(keyColor); }
    void Repaint() override { window_.Repaint(); }
    void SetIcon(const std::string& path) override { window_.SetIcon(path); }
    void SetCaption(const std::string& caption) override { window_.SetCaption(caption); }
    void Show() override { window_.Show(); }
    void Hide() override { window_.Hide(); }
    void BringToFront() override { window_.BringToFront(); }
    void SetClickThrough(bool on) override { window_.SetClickThrough(on); }

    bool counting() const { return frames_ != nullptr; }

  private:
    ActorWindowPort& window_;
    uint64_t* frames_ = nullptr;
};

}  // namespace kobal::actor::qt
