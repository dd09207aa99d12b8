// Bytes off the link's socket, cut into reads of varying size: the frames
// they hold go to an actor as link texts, which it then works off. Every
// frame must also come back whole from its own encoding.
#include <cstdlib>

#include "actor/link_frame.h"
#include "fuzz/fuzz_support.h"

using namespace kobal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ActorWorld world;
    if (size < 1) return 0;
    const size_t chunk = 1 + data[0] % 16;
    const std::string_view bytes = fuzz::Text(data + 1, size - 1);

    auto rt = world.Runtime(fuzz::Hash(bytes));
    actor::LinkFrameDecoder decoder;
    std::string text;
    bool bad = false;
    for (size_t at = 0; at < bytes.size() && !bad; at += chunk) {
        decoder.Append(bytes.substr(at, chunk));
        for (;;) {
            const auto result = decoder.Next(text);
            if (result == actor::LinkFrameDecoder::Result::Bad) bad = true;
            if (result != actor::LinkFrameDecoder::Result::Frame) break;
            actor::LinkFrameDecoder echo;
            std::string back;
            echo.Append(actor::EncodeLinkFrame(text));
            if (echo.Next(back) != actor::LinkFrameDecoder::Result::Frame || back != text) std::abort();
            rt->DDEline_Change(text);
        }
    }
    // The texts as plain arrivals too, as if each line had come in a frame.
    size_t start = 0;
    for (int n = 0; n < 32 && start < bytes.size(); ++n) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        rt->DDEline_Change(std::string(bytes.substr(start, end - start)));
        start = end + 1;
    }
    fuzz::Expected([&] {
        rt->DDETimer_Timer();
        fuzz::ActorWorld::Run(*rt, world.timer1, 30);
    });
    return 0;
}
