// Writes the product's resource/config.kcfg: the default settings, from the
// same function that the configuration window's "Default" uses.
#include <cstdio>
#include <exception>

#include "config/settings_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <config.kcfg>\n", argv[0]);
        return 2;
    }
    try {
        kobal::config::WriteFileReplacing(argv[1], SettingsFileText(kobal::config::DefaultSettings()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
