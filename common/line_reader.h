#pragma once
// Reads a text file line by line as the classic Line Input did: CRLF, LF or
// CR ends a line; reading past the end raises "Input past end of file"
// naming the file and line. Only regular files are read; a UTF-8 byte-order
// mark at the start is skipped, and a line has a length limit.
#include <cstdio>
#include <memory>
#include <string>

namespace kobal {

class RuntimeError;

// Far above any hand-written line; a longer one is an error rather than
// memory without end.
inline constexpr size_t kMaxLineLength = 64 * 1024;
// "Out of string space" naming the file and line.
RuntimeError LineTooLong(const std::string& file, int line);

class LineReader {
  public:
    // Opens path (as written, then without regard to letter case). Raises
    // File not found / Path not found / Permission denied naming the path;
    // File not found too for a FIFO, device, socket or directory (also
    // through a symbolic link), without ever blocking on it.
    explicit LineReader(const std::string& path);
    // Reads a file's text already in memory (what follows its byte-order
    // mark), named as name; no system call.
    LineReader(std::string name, std::shared_ptr<const std::string> text);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    std::string ReadLine();
    // Reads into line, reusing its storage; same errors as ReadLine.
    void ReadLine(std::string& line);
    bool AtEnd();

    // The file as opened (native path) and the number of the line last read.
    const std::string& name() const { return name_; }
    int lineNumber() const { return line_; }

  private:
    std::string name_;
    std::FILE* file_ = nullptr;
    std::shared_ptr<const std::string> text_;  // what file_ reads, when in memory
    int line_ = 0;
};

// Opens a file for reading with the same resolution, checks and errors, past
// a byte-order mark; caller closes.
std::FILE* OpenForReading(const std::string& path, std::string* resolved);

}  // namespace kobal
