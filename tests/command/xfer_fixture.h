// Shared set-up of the transfer and procedure tests: a temporary folder, a described flash
// chip, a main panel to watch, a TFS description built in memory and image patterns.
#pragma once

#include "flash/dwl10fla.h"
#include "flash/dwl10tfs.h"
#include "session/dwl_context.h"
#include "tests/support/temp_files.h"
#include "uis/dwl_oplog.h"
#include "uis/uis.h"
#include "uis/uis_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace xfer {

// The chip of these tests: 8 boot sectors of 8 KB, then 255 sectors of 64 KB (16 MB).
constexpr uint8_t kManufacturer = 137;
constexpr uint8_t kDevice = 24;
constexpr uint32_t kBootSectors = 8;
constexpr uint32_t kSmall = 8192;
constexpr uint32_t kLarge = 65536;
constexpr uint32_t kFlashSize = 8 * kSmall + 255 * kLarge;

inline std::string FlashText(uint8_t manufacturer = kManufacturer, uint8_t device = kDevice,
                             uint32_t largeSectors = 255) {
    std::string t;
    t += "# flash of the transfer tests\r\n";
    t += "NEW_FLASH\r\n";
    t += "MANUFACTURER_NAME : TESTCO\r\n";
    t += "DEVICE_NAME : T16M\r\n";
    t += "BASEBAND_PRODUCT : PCF5087\r\n";
    t += "MANUFACTURER_ID : " + std::to_string(manufacturer) + "\r\n";
    t += "DEVICE_ID : " + std::to_string(device) + "\r\n";
    t += "NB_BANKS : 1\r\n";
    t += "NB_SECTORS : " + std::to_string(8 + largeSectors) + "\r\n";
    t += "START_SECTOR_DESCRITPION\r\n";
    t += "0-7*8192*0\r\n";
    t += "8-" + std::to_string(7 + largeSectors) + "*65536*0\r\n";
    t += "END_SECTOR_DESCRIPTION\r\n";
    t += "END_FLASH\r\n";
    return t;
}

using TempDir = testsupport::TempDir;

// Fills the PC's flash table with the test chip.
inline void DescribeFlash(const std::string& text = FlashText()) {
    std::memset(&vg_FlashDescritpion, 0, sizeof vg_FlashDescritpion);
    ASSERT_EQ(dwl10_102ParseFlashDescription(reinterpret_cast<const uint8_t*>(text.data()),
                                             static_cast<uint32_t>(text.size()),
                                             &vg_FlashDescritpion),
              1);
}

// Layout with the main panel's progress, elapsed-time and log controls, and the format panel.
inline std::string TestLayout() {
    return "panel 3 \"main\" 600 400\n"
           "  progress 20 \"\" 0 0 10 10\n"
           "  numeric 21 \"\" 0 0 10 10\n"
           "  textmsg 22 \" \" 0 0 10 10\n"
           "  listbox 23 \"\" 0 0 10 10\n"
           "panel 2 \"format\" 200 100\n"
           "  textmsg 1 \"Formatting the flash\" 0 0 10 10\n";
}

// Main panel and operator log of a test: every appended line is kept.
class Panel {
  public:
    explicit Panel(const TempDir& dir) {
        uis_Reset();
        testsupport::writeBytes(dir.file("mmi.uir"), TestLayout());
        uis_SetLayoutDirectory(dir.path().c_str());
        v_Panel = LoadPanel(0, "mmi.uir", 3);
        uis_SetListObserver([this](int panel, int control, const char* label) {
            if (panel == v_Panel && control == PANEL_OPERATOR_LOG) lines.emplace_back(label);
        });
    }
    ~Panel() {
        uis_Reset();
        v_Panel = 0;
    }
    int intValue(int control) const {
        int v = -1;
        GetCtrlVal(v_Panel, control, &v);
        return v;
    }
    std::string label(int control) const {
        char text[256] = {};
        GetCtrlAttribute(v_Panel, control, ATTR_LABEL_TEXT, text, sizeof text);
        return text;
    }
    bool logged(const std::string& text) const {
        for (const auto& l : lines)
            if (l == " " + text + " ") return true;
        return false;
    }
    // Index of the first line " text " at or after `from`, or -1.
    int find(const std::string& text, size_t from = 0) const {
        for (size_t i = from; i < lines.size(); ++i)
            if (lines[i] == " " + text + " ") return static_cast<int>(i);
        return -1;
    }
    std::vector<std::string> lines;
};

// Deterministic image bytes.
inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

inline uint32_t Sum(const uint8_t* p, size_t n) {
    uint32_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s += p[i];
    return s;
}

// A 512-byte name field as the description holds it: name, NUL, then 0xFF.
inline void SetName(char* field, const std::string& name) {
    std::memset(field, 0xFF, DWL_TFS_NAME_SIZE);
    size_t n = name.size() < DWL_TFS_NAME_SIZE ? name.size() : DWL_TFS_NAME_SIZE;
    std::memcpy(field, name.data(), n);
    if (n < DWL_TFS_NAME_SIZE) field[n] = '\0';
}

struct TfsFileDef {
    std::string name;
    uint32_t size;
};

// Replaces vg_TFSDescritpion with one built from these entries.
inline void DescribeTfs(const std::string& version, const std::vector<std::string>& dirs,
                        const std::vector<TfsFileDef>& files) {
    dwl10_203FreeTFSDescription();
    TfsDescription& d = vg_TFSDescritpion;
    std::memset(&d, 0, sizeof d);
    std::strncpy(d.Version, version.c_str(), sizeof d.Version - 1);
    d.NbDir = static_cast<int32_t>(dirs.size());
    d.DirNames =
        static_cast<char(*)[DWL_TFS_NAME_SIZE]>(std::malloc((dirs.size() + 1) * DWL_TFS_NAME_SIZE));
    for (size_t i = 0; i < dirs.size(); ++i)
        SetName(d.DirNames[i], dirs[i]);
    d.MaxFiles = static_cast<uint32_t>(files.size() + 1);
    d.Files = static_cast<TfsFileEntry*>(std::malloc(d.MaxFiles * sizeof(TfsFileEntry)));
    d.NbFiles = static_cast<uint32_t>(files.size());
    d.TotalSize = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        SetName(d.Files[i].FileName, files[i].name);
        d.Files[i].FileSize = files[i].size;
        d.TotalSize += files[i].size;
    }
}

// A context for a handset whose bootstrap already runs on COM1.
inline DownloadContext BootstrapContext() {
    DownloadContext c = dwl_DefaultContext();
    c.ComPort = 1;
    c.FlashManufacturerId = kManufacturer;
    c.FlashDeviceId = kDevice;
    return c;
}

} // namespace xfer
