#include "config/shell/registry_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/runtime_error.h"
#include "common/text.h"
#include "config/shell/freedesktop.h"

namespace kobal::shell {
namespace {

constexpr const char* kRoot = "HKEY_CLASSES_ROOT";
constexpr const char* kHeader = "REGEDIT4";

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

[[noreturn]] void Malformed(const std::string& file, int line, const std::string& what) {
    throw RuntimeError(ErrorNumber::PathFileAccessError, file, line, what);
}

// Reads a quoted string starting at pos (at the opening quote); pos ends
// after the closing quote.
std::string Unquote(const std::string& line, size_t& pos, const std::string& file, int lineNo) {
    if (pos >= line.size() || line[pos] != '"') Malformed(file, lineNo, "a quoted text was expected");
    std::string out;
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= line.size()) break;
            c = line[pos];
            if (c == 'n') c = '\n';
            else if (c == 'r') c = '\r';
            else if (c != '\\' && c != '"') Malformed(file, lineNo, std::string("unknown escape \\") + c);
        }
        out += c;
    }
    Malformed(file, lineNo, "a quoted text is not closed");
}

bool ValidKey(const std::string& key) {
    if (key.empty()) return false;
    size_t start = 0;
    for (;;) {
        const size_t sep = key.find('\\', start);
        const size_t end = sep == std::string::npos ? key.size() : sep;
        if (end == start) return false;  // empty component
        if (sep == std::string::npos) return true;
        start = sep + 1;
    }
}

}  // namespace

RegistryTree RegistryTree::Parse(const std::string& text, const std::string& file) {
    RegistryTree tree;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    bool header = false;
    Key* current = nullptr;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == ';') continue;
        if (!header) {
            if (line != kHeader) Malformed(file, lineNo, "the first line must be REGEDIT4");
            header = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') Malformed(file, lineNo, "a key line must end in ]");
            const std::string full = line.substr(1, line.size() - 2);
            const std::string prefix = std::string(kRoot) + "\\";
            if (!EqualsNoCase(full.substr(0, prefix.size()), prefix) || !ValidKey(full.substr(prefix.size())))
                Malformed(file, lineNo, "not a key below HKEY_CLASSES_ROOT: " + full);
            const std::string key = full.substr(prefix.size());
            tree.CreateKey(key);
            current = tree.Find(key);
            continue;
        }
        if (!current) Malformed(file, lineNo, "a value before the first key");
        size_t pos = 0;
        std::string name;
        if (line.front() == '@') pos = 1;
        else name = Unquote(line, pos, file, lineNo);
        if (pos >= line.size() || line[pos] != '=') Malformed(file, lineNo, "= expected after the value name");
        ++pos;
        std::string value = Unquote(line, pos, file, lineNo);
        if (pos != line.size()) Malformed(file, lineNo, "text after the value");
        tree.SetValue(current->path, name, value);
    }
    return tree;
}

std::string RegistryTree::Serialize() const {
    std::string out = std::string(kHeader) + "\n";
    for (const Key& k : keys_) {
        out += "\n[" + std::string(kRoot) + "\\" + k.path + "]\n";
        for (const auto& [name, value] : k.values)
            out += (name.empty() ? std::string("@") : Quote(name)) + "=" + Quote(value) + "\n";
    }
    return out;
}

RegistryTree::Key* RegistryTree::Find(const std::string& key) {
    for (Key& k : keys_)
        if (EqualsNoCase(k.path, key)) return &k;
    return nullptr;
}

const RegistryTree::Key* RegistryTree::Find(const std::string& key) const {
    for (const Key& k : keys_)
        if (EqualsNoCase(k.path, key)) return &k;
    return nullptr;
}

void RegistryTree::CreateKey(const std::string& key) {
    // Parents first, each keeping the case it was first created with.
    size_t sep = 0;
    while ((sep = key.find('\\', sep)) != std::string::npos) {
        if (!Find(key.substr(0, sep))) keys_.push_back({key.substr(0, sep), {}});
        ++sep;
    }
    if (!Find(key)) keys_.push_back({key, {}});
}

void RegistryTree::RemoveKey(const std::string& key) {
    std::erase_if(keys_, [&](const Key& k) {
        return EqualsNoCase(k.path, key) || (k.path.size() > key.size() && k.path[key.size()] == '\\' &&
                                             EqualsNoCase(k.path.substr(0, key.size()), key));
    });
}

void RegistryTree::SetValue(const std::string& key, const std::string& name, const std::string& value) {
    CreateKey(key);
    Key* k = Find(key);
    for (auto& [n, v] : k->values) {
        if (EqualsNoCase(n, name)) {
            v = value;
            return;
        }
    }
    k->values.emplace_back(name, value);
}

bool RegistryTree::HasKey(const std::string& key) const {
    return Find(key) != nullptr;
}

std::optional<std::string> RegistryTree::Value(const std::string& key, const std::string& name) const {
    const Key* k = Find(key);
    if (!k) return std::nullopt;
    for (const auto& [n, v] : k->values)
        if (EqualsNoCase(n, name)) return v;
    return std::nullopt;
}

RegistryTree FileRegistry::Read() const {
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        struct stat st {};
        if (::stat(file_.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return {};
        throw RuntimeError(ErrorNumber::PermissionDenied, file_);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return RegistryTree::Parse(text.str(), file_);
}

template <class Change>
bool FileRegistry::Update(const std::string& key, std::string& reason, Change change) {
    if (!ValidKey(key)) {
        reason = "not a valid key name";
        return false;
    }
    RegistryTree tree;
    try {
        tree = Read();
    } catch (const RuntimeError& e) {
        reason = e.message();
        return false;
    }
    change(tree);

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ec);
    const std::string temp = file_ + ".new";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        reason = temp + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = tree.Serialize();
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written) {
        reason = temp + ": " + std::strerror(written ? errno : err);
        ::unlink(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), file_.c_str()) != 0) {
        reason = file_ + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool FileRegistry::CreateKey(const std::string& key, std::string& reason) {
    return Update(key, reason, [&](RegistryTree& t) { t.CreateKey(key); });
}

bool FileRegistry::SetValue(const std::string& key, const std::string& name, const std::string& value,
                            std::string& reason) {
    return Update(key, reason, [&](RegistryTree& t) { t.SetValue(key, name, value); });
}

bool FileRegistry::RemoveKey(const std::string& key, std::string& reason) {
    return Update(key, reason, [&](RegistryTree& t) { t.RemoveKey(key); });
}

std::string DefaultRegistryFile() {
    return XdgConfigHome() + "/kobaltron/registry.reg";
}

}  // namespace kobal::shell
