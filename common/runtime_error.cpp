#include "common/runtime_error.h"

#include <cerrno>
#include <cstring>

namespace kobal {

const char* ErrorText(ErrorNumber number) {
    switch (number) {
        case ErrorNumber::InvalidProcedureCall: return "Invalid procedure call or argument";
        case ErrorNumber::Overflow: return "Overflow";
        case ErrorNumber::SubscriptOutOfRange: return "Subscript out of range";
        case ErrorNumber::DivisionByZero: return "Division by zero";
        case ErrorNumber::OutOfStackSpace: return "Out of stack space";
        case ErrorNumber::InvalidPropertyValue: return "Invalid property value";
        case ErrorNumber::TypeMismatch: return "Type mismatch";
        case ErrorNumber::BadFileNameOrNumber: return "Bad file name or number";
        case ErrorNumber::FileNotFound: return "File not found";
        case ErrorNumber::FileAlreadyOpen: return "File already open";
        case ErrorNumber::DeviceIOError: return "Device I/O error";
        case ErrorNumber::DiskFull: return "Disk full";
        case ErrorNumber::InputPastEndOfFile: return "Input past end of file";
        case ErrorNumber::PermissionDenied: return "Permission denied";
        case ErrorNumber::OutOfStringSpace: return "Out of string space";
        case ErrorNumber::PathFileAccessError: return "Path/File access error";
        case ErrorNumber::PathNotFound: return "Path not found";
        case ErrorNumber::InvalidPicture: return "Invalid picture";
    }
    return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(ErrorNumber number, std::string file, int line, std::string detail)
    : number_(number), file_(std::move(file)), line_(line), detail_(std::move(detail)) {
    Compose();
}

void RuntimeError::Compose() {
    message_ = "Run-time error '" + std::to_string(static_cast<int>(number_)) + "': " + ErrorText(number_);
    if (!file_.empty()) {
        message_ += ": " + file_;
        if (line_ > 0) message_ += ", line " + std::to_string(line_);
    }
    if (!detail_.empty()) message_ += " (" + detail_ + ")";
}

RuntimeError FileSystemError(int err, const std::string& path) {
    switch (err) {
        case ENOENT:
        case ENOTDIR: return RuntimeError(ErrorNumber::PathNotFound, path);
        case EACCES:
        case EPERM:
        case EROFS: return RuntimeError(ErrorNumber::PermissionDenied, path);
        case ENOSPC: return RuntimeError(ErrorNumber::DiskFull, path);
        default: return RuntimeError(ErrorNumber::PathFileAccessError, path, 0, std::strerror(err));
    }
}

RuntimeError RuntimeError::WithFile(const std::string& file, int line) const {
    if (!file_.empty()) return *this;
    return RuntimeError(number_, file, line, detail_);
}

}  // namespace kobal
