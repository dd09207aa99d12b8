#pragma once
// The one failure that ends a program: the classic run-time error number and
// text, plus the file and line where one was being read.
#include <exception>
#include <string>

namespace kobal {

enum class ErrorNumber : int {
    InvalidProcedureCall = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    DivisionByZero = 11,
    OutOfStackSpace = 28,
    TypeMismatch = 13,
    OutOfStringSpace = 14,
    BadFileNameOrNumber = 52,
    FileNotFound = 53,
    FileAlreadyOpen = 55,
    DeviceIOError = 57,
    DiskFull = 61,
    InputPastEndOfFile = 62,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
};

// The classic text for an error number ("Overflow", "File not found", ...).
const char* ErrorText(ErrorNumber number);

class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(ErrorNumber number, std::string file = {}, int line = 0, std::string detail = {});

    ErrorNumber number() const { return number_; }
    const std::string& file() const { return file_; }
    int line() const { return line_; }
    const std::string& detail() const { return detail_; }

    // "Run-time error '53': File not found: /path/x.kani" (", line 4" where known)
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const { return message_; }

    // A lower layer raised the error without knowing the file; the reader adds it.
    RuntimeError WithFile(const std::string& file, int line) const;

  private:
    void Compose();
    ErrorNumber number_;
    std::string file_;
    int line_;
    std::string detail_;
    std::string message_;
};

// The run-time error for a failed file-system call's errno, naming the path.
RuntimeError FileSystemError(int err, const std::string& path);

// Not an error: a program asked to end at once (EndActor, a start-up refusal).
struct ProgramEnd {
    int status = 0;
};

}  // namespace kobal
