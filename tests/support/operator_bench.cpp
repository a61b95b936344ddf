// The operator-interface bench of the ui and config tests.
#include "tests/support/operator_bench.h"

#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "link/dwl12pclib.h"
#include "link/rs232.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "startup/dwl50dev.h"
#include "startup/dwl50reset.h"
#include "ui/dwl51mmi.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <cstring>

namespace testsupport {

namespace {

void copyExample(const TempDir& dir, const char* name) {
    writeBytes(dir.file(name), readBytes(sourceDir() + "/examples/" + name));
}

} // namespace

OperatorBench::OperatorBench() : OperatorBench(Options{}) {}

OperatorBench::OperatorBench(Options options) : cwd_(dir_.path()) {
    if (options.flashTxt) copyExample(dir_, "flash.txt");
    copyExample(dir_, "dwl87.spm");
    copyExample(dir_, "dwl88.spm");
    uis_Reset();
    dwl50_3ResetRunTime();
    uis_SetLayoutDirectory((sourceDir() + "/ui").c_str());
    dwl51_1InstallCallbacks();
    v_SelectLineHook = nullptr;
    uis_SetListObserver([this](int panel, int control, const char* label) {
        if (panel == v_Panel && control == PANEL_OPERATOR_LOG) lines.emplace_back(label);
    });
    if (options.startUp) dwl50_1InitPanels();
}

OperatorBench::~OperatorBench() {
    for (int port = 1; port <= 8; port++)
        dwl12_1UartStop(static_cast<uint8_t>(port));
    session_.reset();
    dwl50_2EndProgram();
    uis_Reset();
    uis_SetLayoutDirectory(nullptr);
    v_SelectLineHook = nullptr;
    dwl50_3ResetRunTime();
}

std::string OperatorBench::copyTfsSample(const std::string& name) const {
    const std::string examples = sourceDir() + "/examples/";
    writeBytes(file(name), readBytes(examples + "sample.tfs"));
    writeBytes(file(name.substr(0, name.size() - 3) + "cfg"), readBytes(examples + "sample.cfg"));
    return file(name);
}

std::string OperatorBench::writeImage(const std::string& name, size_t n, uint32_t seed) {
    std::vector<uint8_t> bytes(n);
    uint32_t x = seed * 2654435761u + 7u;
    for (size_t i = 0; i < n; i++) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(x >> 16);
    }
    writeBytes(file(name), bytes);
    return file(name);
}

sim::SimSession& OperatorBench::emulate(sim::HandsetConfig config) {
    session_.reset();
    session_ = std::make_unique<sim::SimSession>(config);
    return *session_;
}

int OperatorBench::press(int control) {
    const int rc = uis_OperateCommit(v_Panel, control);
    uis_DispatchEvents();
    return rc;
}

int OperatorBench::choose(int control, int value) {
    const int rc = uis_OperateSetValue(v_Panel, control, value);
    uis_DispatchEvents();
    return rc;
}

int OperatorBench::menu(int item) {
    const int rc = uis_OperateMenuItem(v_MenuBarHandle, item);
    uis_DispatchEvents();
    return rc;
}

int OperatorBench::load(int button, const std::string& path) {
    uis_PushFileAnswer(path.c_str());
    return press(button);
}

int OperatorBench::pressOk(int window) {
    const int rc = uis_OperateCommit(window, 2);
    uis_DispatchEvents();
    return rc;
}

int OperatorBench::window(const char* layoutFile, int panel) const {
    return uis_FindPanel(layoutFile, panel);
}

int OperatorBench::windowCount(const char* layoutFile, int panel) const {
    return uis_CountPanels(layoutFile, panel);
}

std::string OperatorBench::windowText(int window) const {
    return uis_ControlText(window, 3);
}

bool OperatorBench::dimmed(int control) const {
    int d = -1;
    GetCtrlAttribute(v_Panel, control, ATTR_DIMMED, &d);
    return d == 1;
}

int OperatorBench::intValue(int control) const {
    int v = -12345;
    GetCtrlVal(v_Panel, control, &v);
    return v;
}

std::string OperatorBench::text(int control) const {
    return uis_ControlText(v_Panel, control);
}

std::string OperatorBench::label(int control) const {
    char t[256] = {};
    GetCtrlAttribute(v_Panel, control, ATTR_LABEL_TEXT, t, sizeof t);
    return t;
}

bool OperatorBench::menuBarShown() const {
    const UiPanel* p = uis_Panel(v_Panel);
    return p != nullptr && p->menuBar != 0 && p->menuBar == v_MenuBarHandle;
}

bool OperatorBench::logged(const std::string& text) const {
    return find(text) >= 0;
}

int OperatorBench::find(const std::string& text, size_t from) const {
    for (size_t i = from; i < lines.size(); i++)
        if (lines[i] == " " + text + " ") return static_cast<int>(i);
    return -1;
}

std::vector<std::string> OperatorBench::messages() const {
    std::vector<std::string> out;
    for (const UiMessage& m : uis_Messages())
        out.push_back(m.title + ": " + m.text);
    return out;
}

bool OperatorBench::portOpen(int port) const {
    return GetInQLen(port) != kRS_PortNotOpen;
}

} // namespace testsupport
