#pragma once
// Fake ports for the configuration tool's logic tests.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "config/config_window.h"

namespace kobal::config::testing {

struct FakePaths : InstallPathStore {
    std::optional<std::string> value;
    std::vector<std::string> writes;
    std::optional<std::string> ReadApplicationPath() override { return value; }
    void WriteApplicationPath(const std::string& path) override {
        writes.push_back(path);
        value = path;
    }
};

struct FakeBoxes : MessageBoxPort {
    struct Shown {
        std::string text, title;
    };
    std::vector<Shown> shown;
    bool answer = true;
    void ShowMessage(const std::string& text, const std::string& title) override { shown.push_back({text, title}); }
    bool AskOkCancel(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
        return answer;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
        return answer;
    }
};

struct FakeShell : ShellIntegration {
    std::vector<std::string> calls;
    void RegisterFileAssociations() override { calls.push_back("RegisterFileAssociations"); }
    void CreateStartMenuShortcuts() override { calls.push_back("CreateStartMenuShortcuts"); }
    void AddToStartMenu(const std::string& fileName) override { calls.push_back("AddToStartMenu " + fileName); }
};

struct FakeInput : InputBoxPort {
    struct Asked {
        std::string prompt, title, proposed;
    };
    std::vector<Asked> asked;
    std::deque<std::string> answers;  // empty: cancelled
    std::string InputBox(const std::string& prompt, const std::string& title, const std::string& proposed) override {
        asked.push_back({prompt, title, proposed});
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
        std::optional<int> choice;
        bool closedByFrame = false;
        static Answer Ok() { return {std::nullopt, std::nullopt, false}; }
        static Answer Text(std::string t) { return {std::move(t), std::nullopt, false}; }
        static Answer Choice(int c) { return {std::nullopt, c, false}; }
        static Answer Closed() { return {std::nullopt, std::nullopt, true}; }
    };
    struct Seen {
        std::string label;
        bool textboxVisible, comboboxVisible;
        std::vector<std::string> items;
        int position;
        std::string text;
    };
    std::deque<Answer> script;
    std::vector<Seen> seen;
    int loads = 0;
    std::string loadedPicture;

    void Load(WizardBox& box) override {
        ++loads;
        loadedPicture = box.picturePath;
    }
    bool ShowModal(WizardBox& box) override {
        seen.push_back({box.Label1, box.textboxVisible, box.comboboxVisible, box.Combobox.items,
                        box.Combobox.listIndex, box.Textbox.text});
        Answer a;
        if (!script.empty()) {
            a = script.front();
            script.pop_front();
        }
        if (a.closedByFrame) return false;
        if (a.text) box.Textbox.text = *a.text;
        if (a.choice) box.Combobox.SetListIndex(*a.choice);
        box.OK_Click();
        return true;
    }
};

struct Fakes {
    FakePaths paths;
    FakeBoxes boxes;
    FakeShell shell;
    FakeInput input;
    FakeWizard wizard;
    ConfigPorts ports() { return {paths, boxes, shell, input, wizard}; }
};

}  // namespace kobal::config::testing
