#pragma once
// Paths keep the system's text rules ("\" separators, ":" marks an absolute
// name); they become native only when they touch the file system.
#include <string>
#include <string_view>

namespace kobal {

// Absolute when it holds ":" (a drive) or starts with "/".
bool IsAbsolutePath(std::string_view path);

// Every "\" becomes "/" and a leading drive ("C:") is dropped.
std::string NativePath(std::string_view path);

// The native path, looked up again without regard to letter case (component
// by component) when it does not exist as written. Unchanged when nothing
// matches either way.
std::string ResolvePath(std::string_view path);

// True when the name exists as written, or differs only in letter case.
bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);
// True only for an exact match (used to warn about letter-case mismatches).
bool ExistsExactly(std::string_view path);

std::string ParentDirectory(std::string_view nativePath);

// The native name under which to create a file or folder: the existing
// parent may differ in letter case, the new last part stays as written.
std::string NativePathForCreate(std::string_view path);

}  // namespace kobal
