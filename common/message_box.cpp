#include "common/message_box.h"

namespace kobal {

std::string MessageLine(const std::string& title, const std::string& text) {
    std::string line = title + ": " + text;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

}  // namespace kobal
