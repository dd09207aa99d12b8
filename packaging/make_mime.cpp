// Writes the shared-mime-info package installed system-wide, from the same
// file types and the same code as the per-user registration, so the two
// cannot describe the types differently.
#include <cstdio>
#include <fstream>

#include "config/shell/associations_and_shortcuts.h"
#include "config/shell/freedesktop.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <kobaltron.xml>\n", argv[0]);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << kobal::shell::MimePackageXml(kobal::shell::ProductFileTypes(""));
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[1]);
        return 1;
    }
    return 0;
}
