#pragma once
// A temporary directory for tests that read and write real files.
#include <filesystem>
#include <fstream>
#include <string>

namespace kobal {

class TempDir {
  public:
    TempDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "kobal-test-XXXXXX").string();
        if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
        path_ = templ;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Writes bytes exactly as given (CRLF stays CRLF); creates parent folders.
    std::string Write(const std::string& name, const std::string& content) const {
        const std::filesystem::path p = std::filesystem::path(path_) / name;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        out << content;
        return p.string();
    }

  private:
    std::string path_;
};

}  // namespace kobal
