#pragma once
// Frames on the link's local socket: "KA", a 32-bit big-endian length, then
// the text's bytes. A frame over 64 KiB, or bytes that do not start a frame,
// make the connection bad.
#include <cstdint>
#include <string>
#include <string_view>

namespace kobal::actor {

constexpr uint32_t kMaxLinkFrame = 64 * 1024;

std::string EncodeLinkFrame(std::string_view text);

class LinkFrameDecoder {
  public:
    enum class Result { Frame, NeedMore, Bad };
    void Append(std::string_view bytes);
    // Takes the next whole frame's text out of the buffer.
    Result Next(std::string& text);

  private:
    std::string buffer_;
    size_t start_ = 0;
};

}  // namespace kobal::actor
