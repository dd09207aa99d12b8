#pragma once
// The registry's HKEY_CLASSES_ROOT as a file that a user can read: the
// REGEDIT4 text format, one "[HKEY_CLASSES_ROOT\key]" block per key with
// its string values (@ is the default value). Key and value names compare
// without regard to letter case and keep the case they were created with.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/shell/associations_and_shortcuts.h"

namespace kobal::shell {

class RegistryTree {
  public:
    struct Key {
        std::string path;                                         // below HKEY_CLASSES_ROOT, "\"-separated
        std::vector<std::pair<std::string, std::string>> values;  // name, value
    };

    // Parses the file text; raises RuntimeError naming file and line for
    // anything that is not REGEDIT4 text with HKEY_CLASSES_ROOT keys.
    static RegistryTree Parse(const std::string& text, const std::string& file);
    std::string Serialize() const;

    // Creates the key and every missing parent.
    void CreateKey(const std::string& key);
    void SetValue(const std::string& key, const std::string& name, const std::string& value);

    // Removes the key with every key below it.
    void RemoveKey(const std::string& key);

    bool HasKey(const std::string& key) const;
    std::optional<std::string> Value(const std::string& key, const std::string& name) const;
    const std::vector<Key>& keys() const { return keys_; }

  private:
    Key* Find(const std::string& key);
    const Key* Find(const std::string& key) const;
    std::vector<Key> keys_;  // in the order they were created
};

// RegistryPort on one file. Every write reads the file afresh and replaces
// it whole (through a temporary file), so two programs do not lose each
// other's keys. A file that cannot be parsed is left alone and every write
// fails, naming it.
class FileRegistry : public RegistryPort {
  public:
    explicit FileRegistry(std::string file) : file_(std::move(file)) {}

    bool CreateKey(const std::string& key, std::string& reason) override;
    bool SetValue(const std::string& key, const std::string& name, const std::string& value,
                  std::string& reason) override;

    bool RemoveKey(const std::string& key, std::string& reason);

    // The tree as the file holds it now (empty when there is no file).
    RegistryTree Read() const;
    const std::string& file() const { return file_; }

  private:
    template <class Change>
    bool Update(const std::string& key, std::string& reason, Change change);
    std::string file_;
};

// $XDG_CONFIG_HOME/kobaltron/registry.reg
std::string DefaultRegistryFile();

}  // namespace kobal::shell
