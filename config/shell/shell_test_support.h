#pragma once
// Fakes and a private home for the shell integration's tests.
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "common/test_files.h"
#include "config/shell/associations_and_shortcuts.h"

namespace kobal::shell::testing {

struct Shown {
    std::string text;
    std::string title;
};

class FakeBoxes : public MessageBoxPort {
  public:
    void ShowMessage(const std::string& text, const std::string& title) override { shown.push_back({text, title}); }
    bool AskOkCancel(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
        return true;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
        return true;
    }
    std::vector<Shown> shown;
};

class FakeInstallPath : public InstallPathStore {
  public:
    std::optional<std::string> ReadApplicationPath() override { return value; }
    void WriteApplicationPath(const std::string& path) override { value = path; }
    std::optional<std::string> value;
};

class FakeFolders : public SpecialFolderLookup {
  public:
    std::optional<std::string> FolderPath(int32_t folderId) override {
        if (folderId != CSIDL_PROGRAMS) return std::nullopt;
        return programs;
    }
    std::optional<std::string> programs;
};

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
  public:
    void Set(const std::string& name, const std::string& value) {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace kobal::shell::testing
