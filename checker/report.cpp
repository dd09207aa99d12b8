#include "checker/report.h"

#include "common/runtime_error.h"

namespace kobal::checker {

Report::Report(std::string displayBase) : base_(std::move(displayBase)) {
    while (base_.size() > 1 && base_.back() == '/') base_.pop_back();
}

void Report::Add(const Where& where, Severity severity, const std::string& message) {
    Problem problem{where, severity, message};
    if (!seen_.insert(Format(problem)).second) return;
    problems_.push_back(std::move(problem));
    (severity == Severity::Error ? errors_ : severity == Severity::Warning ? warnings_ : infos_)++;
}

std::string Report::Display(const std::string& nativePath) const {
    if (!base_.empty() && base_ != "/" && nativePath.size() > base_.size() + 1 &&
        nativePath.compare(0, base_.size(), base_) == 0 && nativePath[base_.size()] == '/')
        return nativePath.substr(base_.size() + 1);
    return nativePath;
}

std::string Report::Format(const Problem& p) const {
    std::string line = Display(p.where.file);
    if (p.where.line > 0) line += ":" + std::to_string(p.where.line);
    line += p.severity == Severity::Error ? ": error: " : p.severity == Severity::Warning ? ": warning: " : ": info: ";
    line += p.message;
    return line;
}

std::vector<std::string> Report::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(problems_.size());
    for (const Problem& p : problems_) lines.push_back(Format(p));
    return lines;
}

void ReportRuntimeError(Report& report, const std::exception& error, const Where& fallback) {
    if (const auto* e = dynamic_cast<const RuntimeError*>(&error)) {
        const Where at = e->file().empty() ? fallback : Where{e->file(), e->line()};
        std::string message = ErrorText(e->number());
        if (!e->detail().empty()) message += " (" + e->detail() + ")";
        report.Error(at, message);
        return;
    }
    report.Error(fallback, error.what());
}

}  // namespace kobal::checker
