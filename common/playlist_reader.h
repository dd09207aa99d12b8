#pragma once
// Reads a playlist field by field: fields end at a comma or a line end,
// blanks before a field are skipped, a field that starts with a double
// quote runs to the next quote. The list ends at the end of the file. The
// file is opened as LineReader opens it; a field has the line length limit.
#include <cstdio>
#include <string>

namespace kobal {

class PlaylistReader {
  public:
    explicit PlaylistReader(const std::string& path);
    ~PlaylistReader();
    PlaylistReader(const PlaylistReader&) = delete;
    PlaylistReader& operator=(const PlaylistReader&) = delete;

    // True when no further field can be read. Blank lines and the line end
    // after the last field do not count as fields.
    bool AtEnd();
    // The next field; raises Input past end of file when AtEnd() is true.
    std::string ReadField();

    const std::string& name() const { return name_; }
    int lineNumber() const { return line_; }

  private:
    int Peek();
    int Get();
    void SkipSeparators();
    std::string name_;
    std::FILE* file_ = nullptr;
    int line_ = 1;
};

}  // namespace kobal
