#include "app/handset_sim/session_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

const sim::HandsetConfig& SessionPlan::configFor(int session) const {
    const bool fails =
        failing.empty() || std::find(failing.begin(), failing.end(), session) != failing.end();
    return fails ? faulty : clean;
}

std::string ParseFailingSessions(const std::string& text, int count, std::vector<int>* sessions) {
    sessions->clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        if (item.empty() || item.size() > 7 || !std::all_of(item.begin(), item.end(), [](char c) {
                return std::isdigit(static_cast<unsigned char>(c));
            }))
            return "--fail-sessions takes session numbers from 1: 2,5";
        const int n = std::atoi(item.c_str());
        if (n < 1 || (count > 0 && n > count))
            return "--fail-sessions: no session " + item + " among " + std::to_string(count);
        sessions->push_back(n);
        at = comma + 1;
    }
    return "";
}
