#include "common/playlist_reader.h"

#include "common/line_reader.h"
#include "common/runtime_error.h"

namespace kobal {

PlaylistReader::PlaylistReader(const std::string& path) {
    file_ = OpenForReading(path, &name_);
}

PlaylistReader::~PlaylistReader() {
    if (file_) std::fclose(file_);
}

int PlaylistReader::Peek() {
    const int c = std::fgetc(file_);
    if (c != EOF) std::ungetc(c, file_);
    return c;
}

int PlaylistReader::Get() {
    const int c = std::fgetc(file_);
    if (c == '\n') ++line_;
    return c;
}

// Blanks, tabs and empty lines between fields carry nothing.
void PlaylistReader::SkipSeparators() {
    for (int c = Peek(); c == ' ' || c == '\t' || c == '\r' || c == '\n'; c = Peek()) Get();
}

bool PlaylistReader::AtEnd() {
    SkipSeparators();
    return Peek() == EOF;
}

std::string PlaylistReader::ReadField() {
    if (AtEnd()) throw RuntimeError(ErrorNumber::InputPastEndOfFile, name_, line_);
    std::string field;
    int c = Get();
    if (c == '"') {
        for (c = Get(); c != EOF && c != '"'; c = Get()) {
            if (field.size() >= kMaxLineLength) throw LineTooLong(name_, line_);
            field.push_back(static_cast<char>(c));
        }
        // Text after the closing quote up to the delimiter is not part of the name.
        for (c = Peek(); c != EOF && c != ',' && c != '\r' && c != '\n'; c = Peek()) Get();
    } else {
        for (; c != EOF && c != ',' && c != '\r' && c != '\n'; c = Get()) {
            if (field.size() >= kMaxLineLength) throw LineTooLong(name_, line_);
            field.push_back(static_cast<char>(c));
            if (Peek() == ',' || Peek() == '\r' || Peek() == '\n') break;
        }
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.pop_back();
    }
    // Consume the one delimiter that ends the field.
    c = Peek();
    if (c == ',') Get();
    else if (c == '\r') {
        Get();
        if (Peek() == '\n') Get();
        else ++line_;
    } else if (c == '\n') Get();
    return field;
}

}  // namespace kobal
