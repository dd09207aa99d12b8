#pragma once
// Message boxes as the logic sees them: title, text and the buttons asked for.
#include <string>

namespace kobal {

class MessageBoxPort {
  public:
    virtual ~MessageBoxPort() = default;
    // OK only, no icon.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // True for OK / Yes.
    virtual bool AskOkCancel(const std::string& text, const std::string& title) = 0;
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
};

// One line for stderr: "title: text", line breaks inside the text as blanks.
std::string MessageLine(const std::string& title, const std::string& text);

}  // namespace kobal
