#pragma once
// The controls of the configuration tool's windows as plain values: the
// windows show and edit these, the handlers read and change them.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kobal::config {

struct TextBox {
    std::string text;
};

// 0 unchecked, 1 checked, 2 greyed.
struct CheckBox {
    int value = 0;
    // A value the box cannot show (a settings file may hold anything) is
    // shown greyed, which the input checks then replace by the fallback.
    void SetValue(int v) { value = (v >= 0 && v <= 2) ? v : 2; }
};

// A drop-down list without typing; listIndex -1 when nothing is chosen.
struct DropDownList {
    std::vector<std::string> items;
    int listIndex = -1;
    // A position outside the list shows nothing chosen.
    void SetListIndex(int v) { listIndex = (v >= 0 && v < static_cast<int>(items.size())) ? v : -1; }
    void SetItems(std::vector<std::string> entries) {
        items = std::move(entries);
        SetListIndex(listIndex);
    }
};

}  // namespace kobal::config
