#include "config/shell/manifest.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::shell {

namespace {

std::vector<std::string>* ListFor(Manifest& m, const std::string& kind) {
    if (kind == "directory") return &m.directories;
    if (kind == "file") return &m.files;
    if (kind == "registration") return &m.registrations;
    return nullptr;
}

}  // namespace

Manifest Manifest::Parse(const std::string& text) {
    Manifest m;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t blank = line.find(' ');
        if (line.empty() || line[0] == '#' || blank == std::string::npos) continue;
        m.Add(line.substr(0, blank), line.substr(blank + 1));
    }
    return m;
}

bool Manifest::Add(const std::string& kind, const std::string& value) {
    std::vector<std::string>* list = ListFor(*this, kind);
    if (!list) return false;
    for (const std::string& v : *list)
        if (v == value) return false;
    list->push_back(value);
    return true;
}

std::string Manifest::Text() const {
    std::string text =
        "# Installed by Kobaltron's install; kobalconfig --uninstall removes what is listed "
        "here.\n";
    for (const auto& d : directories) text += "directory " + d + "\n";
    for (const auto& f : files) text += "file " + f + "\n";
    for (const auto& r : registrations) text += "registration " + r + "\n";
    return text;
}

void FileManifestLog::Record(const std::string& installdir, const std::string& kind, const std::string& value) {
    const std::string file_ = ResolvePath(installdir) + "/" + kManifestName;
    Manifest m;
    {
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        m = Manifest::Parse(s.str());
    }
    if (!m.Add(kind, value)) return;
    const std::string part = file_ + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << m.Text();
        if (!out.flush()) throw RuntimeError(ErrorNumber::PathFileAccessError, part);
    }
    std::error_code ec;
    std::filesystem::rename(part, file_, ec);
    if (ec) throw RuntimeError(ErrorNumber::PathFileAccessError, file_, 0, ec.message());
}

}  // namespace kobal::shell
