// Bytes off the link's socket, cut into reads of varying size: the frames
// they hold go to an actor as link texts, which it then works off. Every
// frame must also come back whole from its own encoding.
//
// The actor is a good one, so nothing a message says may end it with a
// run-time error: a link command that fails is dropped and the actor goes
// on. Its directory also holds lists that fail, links that lead out of it
// and a way out by "..": a message must never play a list from outside
// (those set action type 7, which no list of the actor does). "@ROOT@" in
// a text stands for the install directory's absolute path.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "actor/link_frame.h"
#include "fuzz/fuzz_support.h"

using namespace kobal;

namespace {

struct LinkWorld : fuzz::ActorWorld {
    LinkWorld() {
        // Outside the actor's directory: playing either is an escape.
        const std::string outside = dir.Write("actors/secret.krnd", "1\r\n!07|1|f.kani|\r\n");
        dir.Write("secret.krnd", "1\r\n!07|1|f.kani|\r\n");
        const std::string a = dir.path() + "/actors/a/";
        (void)::symlink(outside.c_str(), (a + "out.krnd").c_str());
        (void)::symlink(dir.path().c_str(), (a + "up").c_str());
        (void)::symlink((a + "loop").c_str(), (a + "loop").c_str());
        Actor("sub/in.krnd", "1\r\n!04|1|f.kani|\r\n");
        (void)::symlink((a + "sub/in.krnd").c_str(), (a + "in.krnd").c_str());
        // Inside, and failing: each must leave the actor as it was.
        Actor("over.krnd", "99999\r\nf.kani\r\n");
        Actor("short.krnd", "3\r\nf.kani\r\n");
        Actor("self.krnd", "1\r\nself.krnd\r\n");
        Actor("again.krnd", "1\r\n!04|1|again.krnd|\r\n");
        Actor("gone.krnd", "1\r\n!04|1|gone.kani|\r\n");
        Actor("bars.krnd", "1\r\n!04|1\r\n");
        Actor("slow.kani", "framecount=1\r\nframepause=400\r\ntimerspeed=40\r\n[end]\r\na.bmp\r\n");
        Actor("slow.krnd", "1\r\n!04|1|slow.kani|\r\n");
    }
};

std::string WithRoot(std::string text, const std::string& root) {
    for (size_t at = text.find("@ROOT@"); at != std::string::npos; at = text.find("@ROOT@", at + root.size()))
        text.replace(at, 6, root);
    return text;
}

[[noreturn]] void Finding(const char* what, const char* detail) {
    std::fprintf(stderr, "link fuzz finding: %s: %s\n", what, detail);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LinkWorld world;
    if (size < 1) return 0;
    const size_t chunk = 1 + data[0] % 16;
    const std::string_view bytes = fuzz::Text(data + 1, size - 1);
    const std::string root = world.dir.path();

    auto rt = world.Runtime(fuzz::Hash(bytes));
    actor::testing::RuntimeAccess::ActivityOf(*rt).SetStateList("l.krnd");  // as start-up leaves it
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
            rt->LinkTextArrived(WithRoot(text, root));
        }
    }
    // The texts as plain arrivals too, as if each line had come in a frame.
    size_t start = 0;
    for (int n = 0; n < 32 && start < bytes.size(); ++n) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        rt->LinkTextArrived(WithRoot(std::string(bytes.substr(start, end - start)), root));
        start = end + 1;
    }
    try {
        // The actor is playing when the messages come.
        actor::testing::RuntimeAccess::PlayNext(*rt);
        rt->LinkClockTick();
        if (rt->behaviours().actiontype() == 7) Finding("a message played a list from outside the actor", "");
        fuzz::ActorWorld::Run(*rt, world.timer1, 30);
        if (rt->behaviours().actiontype() == 7) Finding("a message played a list from outside the actor", "");
    } catch (const RuntimeError& e) {
        Finding("a run-time error escaped the link", e.what());
    } catch (const ProgramEnd&) {
        // "*closeactor*" ends the actor on purpose.
    }
    return 0;
}
