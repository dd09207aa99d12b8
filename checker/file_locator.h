#pragma once
// Finding a file an actor names as the programs find it: exactly as
// written, else with another letter case, which is said once per directory
// or file that differs.
#include <set>
#include <string>

#include "checker/report.h"

namespace kobal::checker {

struct Located {
    bool found = false;
    std::string native;
};

bool IsRegularFile(const std::string& native);

class FileLocator {
  public:
    explicit FileLocator(Report& report) : report_(report) {}

    // systemPath: the name as the program builds it. A missing file is
    // reported at namedAt with name as written there (or, without namedAt,
    // at the file itself) with the given severity and consequence.
    Located Locate(const std::string& systemPath, const Where& namedAt, const std::string& what,
                   const std::string& name, Severity missing, const std::string& consequence = {});
    void WarnLetterCase(const std::string& written, const std::string& resolved, const Where& at);

  private:
    Report& report_;
    std::set<std::string> caseSeen_;
};

}  // namespace kobal::checker
