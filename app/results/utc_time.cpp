#include "app/results/utc_time.h"

#include "link/wire_clock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace dwlcli {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long daysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

// The date of a day counted from 1970-01-01 (the inverse of daysFromCivil): the same on every
// system, without the C library's gmtime_r (which Windows has not).
void civilFromDays(long long z, int* y, int* m, int* d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (*m <= 2));
}

bool parseAge(const std::string& text, double now, double* out) {
    if (text.size() < 2) return false;
    const char unit = text.back();
    const double scale = unit == 'm' ? 60.0 : unit == 'h' ? 3600.0 : unit == 'd' ? 86400.0 : 0.0;
    if (scale == 0.0) return false;
    char* end = nullptr;
    const std::string number = text.substr(0, text.size() - 1);
    const double n = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || *end != '\0' || !(n >= 0) || n > 1e7) return false;
    *out = now - n * scale;
    return true;
}

} // namespace

double epochNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

double steadyEpochNow() {
    static const double epochAtStart = epochNow();
    static const double steadyAtStart = dwl_MonotonicSeconds();
    return epochAtStart + (dwl_MonotonicSeconds() - steadyAtStart);
}

std::string utcText(double epochSeconds) {
    const double whole = std::floor(epochSeconds);
    long ms = std::lround((epochSeconds - whole) * 1000.0);
    std::time_t t = static_cast<std::time_t>(whole);
    if (ms >= 1000) {
        ms -= 1000;
        t += 1;
    }
    const long long seconds = static_cast<long long>(t);
    long long days = seconds / 86400, inDay = seconds % 86400;
    if (inDay < 0) {
        inDay += 86400;
        days -= 1;
    }
    int y = 0, mo = 0, d = 0;
    civilFromDays(days, &y, &mo, &d);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", y, mo, d,
                  static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60),
                  static_cast<int>(inDay % 60), ms);
    return text;
}

std::string utcNow() {
    return utcText(epochNow());
}

bool parseTimeOrAge(const std::string& text, double now, double* out) {
    if (parseAge(text, now, out)) return true;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, consumed = 0;
    double s = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) != 3 || consumed != 10)
        return false;
    std::string rest = text.substr(10);
    if (!rest.empty() && rest != "Z") {
        if (rest[0] != 'T' && rest[0] != ' ') return false;
        int n = 0;
        if (std::sscanf(rest.c_str() + 1, "%2d:%2d%n", &h, &mi, &n) != 2 || n != 5) return false;
        rest = rest.substr(6);
        if (!rest.empty() && rest[0] == ':') {
            char* end = nullptr;
            s = std::strtod(rest.c_str() + 1, &end);
            if (end == rest.c_str() + 1 || !(s >= 0 && s < 61)) return false;
            rest = end;
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59) return false;
    const double naive =
        static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) *
            86400.0 +
        h * 3600.0 + mi * 60.0 + s;
    if (rest == "Z") {
        *out = naive;
        return true;
    }
    if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':') {
        int oh = 0, om = 0;
        if (std::sscanf(rest.c_str() + 1, "%2d:%2d", &oh, &om) != 2 || oh > 23 || om > 59)
            return false;
        const double offset = (oh * 3600.0 + om * 60.0) * (rest[0] == '+' ? 1 : -1);
        *out = naive - offset;
        return true;
    }
    if (!rest.empty()) return false;
    // Local time: the zone's offset at that moment, as mktime knows it.
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = static_cast<int>(s);
    tm.tm_isdst = -1;
    const std::time_t local = std::mktime(&tm);
    if (local == static_cast<std::time_t>(-1)) return false;
    *out = static_cast<double>(local) + (s - std::floor(s));
    return true;
}

} // namespace dwlcli
