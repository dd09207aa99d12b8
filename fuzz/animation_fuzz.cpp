// An animation file played by every behaviour, with fake ports. The first
// two bytes choose the behaviour and its count; the rest is the file.
#include "fuzz/fuzz_support.h"

using namespace kobal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ActorWorld world;
    if (size < 2) return 0;
    const int type = 1 + data[0] % 6;
    const int count = static_cast<int8_t>(data[1]);
    const std::string_view file = fuzz::Text(data + 2, size - 2);
    world.Actor("anim.kani", file);

    std::string target = "anim.kani";
    if (type == 2) target = "$anim.kani,anim.kani";
    if (type == 6) target = "$anim.kani,anim.kani,nul,anim.kani,anim.kani";
    const std::string command = "!0" + std::to_string(type) + "|" + std::to_string(count) + "|" + target + "|l.krnd";

    auto rt = world.Runtime(fuzz::Hash(file));
    fuzz::Expected([&] {
        actor::testing::RuntimeAccess::PlayerOf(*rt).RunActionCommand(command);
        fuzz::ActorWorld::Run(*rt, world.timer1, 300, &world.windows);
    });
    // The same file when a list draws it and the player restarts it.
    auto again = world.Runtime(fuzz::Hash(file) + 1);
    fuzz::Expected([&] {
        std::string name = "anim.kani";
        actor::testing::RuntimeAccess::PlayerOf(*again).ShowNextFrame(name);
        for (int i = 0; i < 50; ++i) {
            std::string empty;
            actor::testing::RuntimeAccess::PlayerOf(*again).ShowNextFrame(empty);
        }
    });
    return 0;
}
