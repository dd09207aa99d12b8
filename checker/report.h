#pragma once
// The checker's findings, one per "file:line: error|warning|info: message"
// line, kept in the order they were found. Only errors fail a check; an info
// line tells an author something the actor will do that is easy to miss.
#include <exception>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kobal::checker {

enum class Severity { Error, Warning, Info };

// Where a finding points: a native path and a line (0: the file as a whole).
struct Where {
    std::string file;
    int line = 0;
};

struct Problem {
    Where where;
    Severity severity;
    std::string message;
};

class Report {
  public:
    // Paths below displayBase are shown relative to it, as a compiler shows
    // the names it was given.
    explicit Report(std::string displayBase = {});

    // The same finding at the same place is kept once.
    void Add(const Where& where, Severity severity, const std::string& message);
    void Error(const Where& where, const std::string& message) { Add(where, Severity::Error, message); }
    void Warning(const Where& where, const std::string& message) { Add(where, Severity::Warning, message); }
    void Info(const Where& where, const std::string& message) { Add(where, Severity::Info, message); }

    std::string Display(const std::string& nativePath) const;
    std::string Format(const Problem& problem) const;
    std::vector<std::string> Lines() const;

    const std::vector<Problem>& problems() const { return problems_; }
    int errors() const { return errors_; }
    int warnings() const { return warnings_; }
    int infos() const { return infos_; }

  private:
    std::string base_;
    std::vector<Problem> problems_;
    std::set<std::string> seen_;
    int errors_ = 0;
    int warnings_ = 0;
    int infos_ = 0;
};

// A name or text as the messages show it: in double quotes.
inline std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// A failure met while reading: its run-time error text (and detail) at the
// file and line it names, else at fallback.
void ReportRuntimeError(Report& report, const std::exception& error, const Where& fallback);

}  // namespace kobal::checker
