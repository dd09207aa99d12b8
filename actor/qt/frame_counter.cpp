#include "actor/qt/frame_counter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace kobal::actor::qt {

FrameCountingWindow::FrameCountingWindow(ActorWindowPort& window, const std::string& dir) : window_(window) {
    if (dir.empty()) return;
    const std::string path = dir + "/" + std::to_string(::getpid());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    void* p = MAP_FAILED;
    if (::ftruncate(fd, sizeof(uint64_t)) == 0)
        p = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p != MAP_FAILED) frames_ = static_cast<uint64_t*>(p);
}

FrameCountingWindow::~FrameCountingWindow() {
    if (frames_) ::munmap(frames_, sizeof(uint64_t));
}

void FrameCountingWindow::Move(int32_t leftTwips, int32_t topTwips) {
    if (frames_) {
        // Only this thread writes; the reader wants whole values, not order.
        std::atomic_ref<uint64_t> frames(*frames_);
        frames.store(frames.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    window_.Move(leftTwips, topTwips);
}

}  // namespace kobal::actor::qt
