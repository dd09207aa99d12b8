#pragma once
// What the installer put in place, kept in the install directory so that
// uninstalling removes exactly that: the directories it created, the files
// it copied and the registrations it made. One record a line:
//   directory <path>      file <path>      registration <what>
// Paths are relative to the install directory, as the copy list gives them.
#include <string>
#include <vector>

namespace kobal::shell {

inline constexpr const char* kManifestName = "kobaltron-install.manifest";

// Registrations the installer's command list makes.
inline constexpr const char* kRegisterInstallPath = "install-path";
inline constexpr const char* kRegisterFileTypes = "file-associations";
inline constexpr const char* kRegisterShortcuts = "start-menu-shortcuts";
inline constexpr const char* kRegisterMenuEntry = "start-menu-entry ";  // + the installed file

struct Manifest {
    std::vector<std::string> directories;  // in the order they were created
    std::vector<std::string> files;
    std::vector<std::string> registrations;

    // Lines that are no record are left out (the file is the product's own).
    static Manifest Parse(const std::string& text);
    std::string Text() const;
    // Adds a record once; true when it is new.
    bool Add(const std::string& kind, const std::string& value);
};

// The installer's side: records go to <installdir>/kobaltron-install.manifest
// as they happen, so a run that stops half-way still leaves what it did on
// record. A later install adds to the records of an earlier one.
class ManifestLog {
  public:
    virtual ~ManifestLog() = default;
    // installdir: the destination as the installer holds it.
    virtual void Record(const std::string& installdir, const std::string& kind, const std::string& value) = 0;
};

class FileManifestLog : public ManifestLog {
  public:
    void Record(const std::string& installdir, const std::string& kind, const std::string& value) override;
};

}  // namespace kobal::shell
