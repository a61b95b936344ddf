// Saving and restoring config.txt: three comment lines, then the keyed lines
// "CLA File : ", "COM : ", "PMU : ", "Product Type : ", "Download Type : " in this order.
#include "config/dwl56conf.h"

#include "flash/dwl10text.h"
#include "link/dwl12datafiles.h"
#include "link/dwl12pclib.h"
#include "session/dwl_context.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kConfigFile = "config.txt";
constexpr size_t kMaxValueChars = 19;
constexpr size_t kPathSize = 260;

struct ConfigText {
    const char* data;
    size_t length;
    size_t pos;
};

bool startsWith(const ConfigText& t, const char* key) {
    const size_t n = strlen(key);
    return t.length - t.pos >= n && memcmp(t.data + t.pos, key, n) == 0;
}

// Length of the rest of the line from the position (up to CR, LF or the end of the file).
size_t restOfLine(const ConfigText& t) {
    size_t n = 0;
    while (t.pos + n < t.length && t.data[t.pos + n] != '\r' && t.data[t.pos + n] != '\n')
        n++;
    return n;
}

void skipLineEnd(ConfigText& t) {
    if (t.pos < t.length && t.data[t.pos] == '\r') t.pos++;
    if (t.pos < t.length && t.data[t.pos] == '\n') t.pos++;
}

void skipPastLineFeed(ConfigText& t) {
    while (t.pos < t.length && t.data[t.pos] != '\n')
        t.pos++;
    if (t.pos < t.length) t.pos++;
}

// Reads "key value" into *field. 1, missingKey, tooHigh (value stored all the same) or
// DWL_CONF_BAD_LINE for a value longer than its field.
int readValue(ConfigText& t, const char* key, int32_t upperBound, int missingKey, int tooHigh,
              int32_t* field) {
    if (!startsWith(t, key)) return missingKey;
    t.pos += strlen(key);
    const size_t n = restOfLine(t);
    if (n > kMaxValueChars) return DWL_CONF_BAD_LINE;
    // Read as the description files read their numbers.
    *field = dwl10_14DecimalValue(reinterpret_cast<const uint8_t*>(t.data + t.pos),
                                  static_cast<uint32_t>(n));
    if (*field > upperBound) return tooHigh;
    t.pos += n;
    skipLineEnd(t);
    return DWL_CONF_OK;
}

int readBlock(ConfigText& t, ConfigRestored* restored) {
    DownloadContext& c = sg_DownloadContext;
    while (t.pos < t.length) {
        const char first = t.data[t.pos];
        if (first == '*' || first == '\r' || first == '\n') {
            skipPastLineFeed(t);
            continue;
        }
        if (!startsWith(t, "CLA File : ")) return DWL_CONF_NO_CLA_LINE;
        t.pos += strlen("CLA File : ");
        const size_t n = restOfLine(t);
        if (n >= kPathSize) return DWL_CONF_BAD_LINE;
        memcpy(c.ClaFile, t.data + t.pos, n);
        c.ClaFile[n] = '\0';
        t.pos += n;
        skipLineEnd(t);
        restored->claFile = true;

        int step = readValue(t, "COM : ", 4, DWL_CONF_COM_KEY, DWL_CONF_COM_VALUE, &c.ComPort);
        if (step != DWL_CONF_OK) return step;
        restored->comPort = true;
        step = readValue(t, "PMU : ", 1, DWL_CONF_PMU_KEY, DWL_CONF_PMU_VALUE, &c.Pmu);
        if (step != DWL_CONF_OK) return step;
        step = readValue(t, "Product Type : ", 2, DWL_CONF_PRODUCT_KEY, DWL_CONF_PRODUCT_VALUE,
                         &c.ProductType);
        if (step != DWL_CONF_OK) return step;
        step = readValue(t, "Download Type : ", 4, DWL_CONF_DOWNLOAD_KEY, DWL_CONF_DOWNLOAD_VALUE,
                         &c.DownloadType);
        if (step != DWL_CONF_OK) return step;
        restored->complete = true;
        break;
    }
    return DWL_CONF_OK;
}

} // namespace

std::string dwl56_2ConfigFile() {
    return dwl12_8WorkFile(kConfigFile);
}

int dwl56_0RestoreConfig(ConfigRestored* restored) {
    return dwl56_3RestoreConfigFrom(dwl56_2ConfigFile().c_str(), restored);
}

int dwl56_3RestoreConfigFrom(const char* path, ConfigRestored* restored) {
    *restored = ConfigRestored{};
    FILE* file = dwl12_10OpenWholeFile(path);
    if (file == nullptr) return DWL_CONF_NO_FILE;
    long size = 0;
    if (dwl12_2CalculateLengthOfFile(path, &size) != DWL_STEP_OK || size < 0) {
        fclose(file);
        return DWL_CONF_NO_FILE;
    }
    char* data = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
    if (data == nullptr) {
        fclose(file);
        return DWL_CONF_BAD_LINE;
    }
    const size_t length = fread(data, 1, static_cast<size_t>(size), file);
    fclose(file);
    data[length] = '\0'; // the spare byte: nothing reads an undefined one past the text
    ConfigText text{data, length, 0};
    const int step = readBlock(text, restored);
    free(data);
    return step;
}

int dwl56_1SaveConfig() {
    FILE* file = fopen(dwl56_2ConfigFile().c_str(), "wb");
    if (file == nullptr) return DWL_CONF_NO_FILE;
    const DownloadContext& c = sg_DownloadContext;
    bool written = true;
    written = fprintf(file, "* ***********************\r\n") > 0 && written;
    written = fprintf(file, "* Configuration save file\r\n") > 0 && written;
    written = fprintf(file, "* ***********************\r\n") > 0 && written;
    written = fprintf(file, "CLA File : %s\r\n", c.ClaFile) > 0 && written;
    written = fprintf(file, "COM : %d\r\n", c.ComPort) > 0 && written;
    written = fprintf(file, "PMU : %d\r\n", c.Pmu) > 0 && written;
    written = fprintf(file, "Product Type : %d\r\n", c.ProductType) > 0 && written;
    written = fprintf(file, "Download Type : %d\r\n", c.DownloadType) > 0 && written;
    written = fclose(file) == 0 && written;
    return written ? DWL_CONF_OK : DWL_CONF_BAD_LINE;
}
