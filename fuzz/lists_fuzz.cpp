// A random-choice list played as the state list, and each of its lines run
// as an action command, with fake ports.
#include "fuzz/fuzz_support.h"

using namespace kobal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::ActorWorld world;
    const std::string_view text = fuzz::Text(data, size);
    world.Actor("r.krnd", text);
    const uint32_t seed = fuzz::Hash(text);

    auto rt = world.Runtime(seed);
    fuzz::Expected([&] {
        actor::testing::RuntimeAccess::ActivityOf(*rt).SetStateList("r.krnd");
        actor::testing::RuntimeAccess::PlayNext(*rt);
        fuzz::ActorWorld::Run(*rt, world.timer1, 200, &world.windows);
    });

    size_t start = 0;
    for (int n = 0; n < 16 && start < text.size(); ++n) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string line(text.substr(start, end - start));
        start = end + 1;
        auto one = world.Runtime(seed + static_cast<uint32_t>(n));
        fuzz::Expected([&] {
            actor::testing::RuntimeAccess::PlayerOf(*one).RunActionCommand(line);
            fuzz::ActorWorld::Run(*one, world.timer1, 20);
        });
    }
    return 0;
}
