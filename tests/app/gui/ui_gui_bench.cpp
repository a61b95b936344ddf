#include "tests/app/gui/ui_gui_bench.h"

#include "app/gui/qt/gui_operator.h"
#include "flash/dwl10fla.h"
#include "link/dwl12pclib.h"
#include "platform/qt/ui_wait_hook.h"
#include "procedure/dwl3spm87.h"
#include "session/dwl_context.h"
#include "startup/dwl50dev.h"
#include "startup/dwl50reset.h"
#include "tests/platform/qt/ui_test_helpers.h"
#include "ui/dwl51mmi.h"
#include "ui/mmi_ids.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <cstring>

namespace guitest {

GuiBench::GuiBench(bool wirePacing, const sim::FaultConfig& faults) : cwd_(work_.path()) {
    copyExample("flash.txt", work_.file("flash.txt"));
    copyExample("dwl87.spm", work_.file("dwl87.spm"));
    copyExample("dwl88.spm", work_.file("dwl88.spm"));
    setenv("DWL_IMAGES_DIR", images_.path().c_str(), 1);

    uis_Reset();
    dwl50_3ResetRunTime();
    uis_SetLayoutDirectory((testsupport::sourceDir() + "/ui").c_str());
    v_LineEmulated = 1;
    v_SelectLineHook = nullptr;

    sim::HandsetConfig config = sim::DefaultConfig();
    config.flashFile = work_.file("flash.txt");
    config.wirePacing = wirePacing;
    config.faults = faults;
    session_ = std::make_unique<sim::SimSession>(config);

    view_.install();
    dwl_qt_InstallWaitHook();
    uis_SetListObserver([this](int panel, int control, const char* label) {
        if (panel != v_Panel || control != PANEL_OPERATOR_LOG) return;
        const QWidget* start = view_.controlWidget(v_Panel, MAIN_START);
        seen.push_back(
            {label, view_.menuBar(v_Panel) != nullptr, start != nullptr && start->isEnabled()});
    });
    dwl50_1InitPanels();
    dwlgui_InstallOperatorAids(view_);
    pump();
}

GuiBench::~GuiBench() {
    dwlgui_RemoveOperatorAids();
    for (int port = 1; port <= 8; port++)
        dwl12_1UartStop(static_cast<uint8_t>(port));
    dwl_qt_RemoveWaitHook();
    dwl50_2EndProgram();
    uis_Reset();
    uis_SetView(nullptr);
    uis_SetLayoutDirectory(nullptr);
    session_.reset();
    dwl50_3ResetRunTime();
    unsetenv("DWL_IMAGES_DIR");
    pump();
}

std::string GuiBench::copyExample(const std::string& name, const std::string& to) const {
    testsupport::writeBytes(to,
                            testsupport::readBytes(testsupport::sourceDir() + "/examples/" + name));
    return to;
}

QWidget* GuiBench::control(int control, int panel) const {
    return view_.controlWidget(panel != 0 ? panel : v_Panel, control);
}

void GuiBench::click(int control, int panel) {
    QWidget* w = this->control(control, panel);
    if (w == nullptr) return;
    QTest::mouseClick(w, Qt::LeftButton);
    pump();
}

void GuiBench::chooseRingIndex(int control, int index) {
    auto* ring = widget<QComboBox>(control);
    if (ring == nullptr) return;
    ring->setFocus();
    while (ring->currentIndex() < index) {
        const int before = ring->currentIndex();
        QTest::keyClick(ring, Qt::Key_Down);
        if (ring->currentIndex() == before) break;
    }
    while (ring->currentIndex() > index) {
        const int before = ring->currentIndex();
        QTest::keyClick(ring, Qt::Key_Up);
        if (ring->currentIndex() == before) break;
    }
    pump();
}

bool GuiBench::loadThroughDialog(int button, const std::string& path) {
    ModalAnswer answer([&](QWidget* dialog) { chooseFile(dialog, path); });
    click(button);
    return answer.answered() && answer.className() == "QFileDialog";
}

std::vector<std::string> GuiBench::logLines() const {
    std::vector<std::string> out;
    auto* list = widget<QListWidget>(PANEL_OPERATOR_LOG);
    for (int i = 0; list != nullptr && i < list->count(); i++)
        out.push_back(list->item(i)->text().toStdString());
    return out;
}

bool GuiBench::logged(const std::string& text) const {
    for (const std::string& line : logLines()) {
        if (line == " " + text + " ") return true;
    }
    return false;
}

} // namespace guitest
