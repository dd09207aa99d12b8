#pragma once
// Headless runs of the corpus's actors, for the run and preview tests.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "checker/headless_run.h"
#include "checker/test_support.h"

namespace kobal::checker::testing {

// A run of an actor of the install, its messages naming files below it.
inline RunOptions CorpusRun(const CorpusInstall& install, int seconds, uint64_t seed,
                            const std::string& file = "a/actor.kact") {
    RunOptions options;
    options.actorFile = install / file;
    options.installPath = install.path();
    options.seconds = seconds;
    options.seed = seed;
    options.displayBase = install.path();
    return options;
}

// The lines of text that hold part.
inline std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find(part) != std::string::npos) lines.push_back(line);
    return lines;
}

}  // namespace kobal::checker::testing
