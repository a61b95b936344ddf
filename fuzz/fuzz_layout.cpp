// Layout text of any shape: the reader must accept it or say which line is wrong, without
// reading past its buffers; a layout it accepts keeps the rules of the format (positive and
// unique numbers, separators only inside a menu, list selections inside their lists).
#include "uis/uis_layout.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

void CheckAccepted(const UiLayout& layout) {
    std::set<int> panels;
    for (const UiPanel& p : layout.panels) {
        if (p.resource <= 0 || !panels.insert(p.resource).second) std::abort();
        if (p.width <= 0 || p.height <= 0) std::abort();
        std::set<int> controls;
        for (const UiControl& c : p.controls) {
            if (c.id <= 0 || !controls.insert(c.id).second) std::abort();
            if (c.index < -1 || c.index >= static_cast<int>(c.items.size())) std::abort();
        }
    }
    std::set<int> menuBars;
    for (const UiMenuBar& m : layout.menuBars) {
        if (m.resource <= 0 || !menuBars.insert(m.resource).second) std::abort();
        std::set<int> items;
        for (const UiMenu& menu : m.menus) {
            for (const UiMenuItem& it : menu.items) {
                if (it.separator != (it.id == 0)) std::abort();
                if (!it.separator && !items.insert(it.id).second) std::abort();
            }
        }
    }
    uis_CallbackNames(layout);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 16) return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    UiLayout layout;
    std::string error;
    if (uis_ParseLayout(text, layout, error)) {
        if (!error.empty()) std::abort();
        CheckAccepted(layout);
    } else if (error.rfind("line ", 0) != 0) {
        std::abort();
    }
    return 0;
}
