// JSON output of the command line: one object on one line, always valid UTF-8.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace dwlcli {

// The compact text of `value`. Bytes of strings that are not UTF-8 (a Latin-1 file name) become
// U+FFFD, so that the output stays valid JSON.
inline std::string jsonText(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace dwlcli
