#include "actor/link_frame.h"

namespace kobal::actor {

std::string EncodeLinkFrame(std::string_view text) {
    std::string frame;
    frame.reserve(text.size() + 6);
    frame += "KA";
    const uint32_t n = static_cast<uint32_t>(text.size());
    frame.push_back(static_cast<char>((n >> 24) & 0xFF));
    frame.push_back(static_cast<char>((n >> 16) & 0xFF));
    frame.push_back(static_cast<char>((n >> 8) & 0xFF));
    frame.push_back(static_cast<char>(n & 0xFF));
    frame.append(text);
    return frame;
}

void LinkFrameDecoder::Append(std::string_view bytes) {
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.append(bytes);
}

LinkFrameDecoder::Result LinkFrameDecoder::Next(std::string& text) {
    const size_t available = buffer_.size() - start_;
    const char* p = buffer_.data() + start_;
    if (available >= 1 && p[0] != 'K') return Result::Bad;
    if (available >= 2 && p[1] != 'A') return Result::Bad;
    if (available < 6) return Result::NeedMore;
    const uint32_t n = (static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 24) |
                       (static_cast<uint32_t>(static_cast<unsigned char>(p[3])) << 16) |
                       (static_cast<uint32_t>(static_cast<unsigned char>(p[4])) << 8) |
                       static_cast<uint32_t>(static_cast<unsigned char>(p[5]));
    if (n > kMaxLinkFrame) return Result::Bad;
    if (available < 6 + static_cast<size_t>(n)) return Result::NeedMore;
    text.assign(p + 6, n);
    start_ += 6 + n;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Result::Frame;
}

}  // namespace kobal::actor
