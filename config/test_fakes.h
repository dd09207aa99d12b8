#pragma once
// Fake ports and file helpers for the configuration tool's tests.
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/config_window.h"

namespace kobal::config::testing {

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct FakePaths : InstallPathStore {
    std::optional<std::string> value;
    std::vector<std::string> writes;
    std::optional<std::string> ReadApplicationPath() override { return value; }
    void WriteApplicationPath(const std::string& path) override { writes.push_back(*(value = path)); }
};

struct FakeBoxes : MessageBoxPort {
    std::vector<std::string> shown;  // "title: text"
    bool answer = true;
    void ShowMessage(const std::string& text, const std::string& title) override {
        shown.push_back(title + ": " + text);
    }
    bool AskOkCancel(const std::string& text, const std::string& title) override {
        ShowMessage(text, title);
        return answer;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override { return AskOkCancel(text, title); }
};

struct FakeShell : ShellIntegration {
    std::vector<std::string> calls;
    void RegisterFileAssociations() override { calls.push_back("associations"); }
    void CreateStartMenuShortcuts() override { calls.push_back("shortcuts"); }
    void AddToStartMenu(const std::string& fileName) override { calls.push_back("add " + fileName); }
};

// Answers from a queue; an empty queue cancels.
struct FakeInput : InputBoxPort {
    std::vector<std::string> asked;  // "title: prompt [proposed]"
    std::deque<std::string> answers;
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& proposed) override {
        asked.push_back(title + ": " + prompt + " [" + proposed + "]");
        if (answers.empty()) return {};
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
};

// Answers each question from a script; with the script used up it clicks
// "Ok" on what the dialog proposes.
struct FakeWizard : WizardDisplay {
    struct Answer {
        std::optional<std::string> text;
        int choice = -2;  // -2: leave the list as proposed
        bool closedByFrame = false;
    };
    static Answer Text(std::string t) { return {std::move(t), -2, false}; }
    static Answer Choice(int c) { return {std::nullopt, c, false}; }
    static Answer Closed() { return {std::nullopt, -2, true}; }

    std::deque<Answer> script;
    std::vector<WizardBox> seen;  // the dialog as each question showed it
    std::vector<std::string> loaded;

    void Load(WizardBox& box) override { loaded.push_back(box.picturePath); }
    bool ShowModal(WizardBox& box) override {
        seen.push_back(box);
        Answer a;
        if (!script.empty()) {
            a = script.front();
            script.pop_front();
        }
        if (a.closedByFrame) return false;
        if (a.text) box.Textbox.text = *a.text;
        if (a.choice != -2) box.Combobox.SetListIndex(a.choice);
        box.OK_Click();
        return true;
    }
};

// The login entry as a value; each change is recorded.
struct FakeLogin : LoginEntry {
    std::optional<std::string> entry;
    std::vector<std::string> calls;  // "choose FILE INSTALLDIR", "remove"
    std::optional<std::string> Current() override { return entry; }
    bool Choose(const std::string& file, const std::string& installdir) override {
        calls.push_back("choose " + file + " " + installdir);
        entry = file;
        return true;
    }
    bool Remove() override {
        calls.push_back("remove");
        entry.reset();
        return true;
    }
};

struct Fakes {
    FakePaths paths;
    FakeBoxes boxes;
    FakeShell shell;
    FakeInput input;
    FakeWizard wizard;
    FakeLogin login;
    ConfigPorts ports() { return {paths, boxes, shell, input, wizard, &login}; }
};

}  // namespace kobal::config::testing
