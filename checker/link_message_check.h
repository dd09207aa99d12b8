#pragma once
// A link message an action command sends (type 99): what the other actors
// will make of it.
#include <string>

#include "checker/report.h"

namespace kobal::checker {

void CheckLinkMessage(const std::string& text, const Where& at, Report& report);

}  // namespace kobal::checker
