// Day numbers and their "mm/dd/yyyy" display.
#include "platform/DayNumber.h"

#include <clocale>
#include <cstdio>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace larderly {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

CivilDate CivilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

const long long kEpoch1600 = DaysFromCivil(1600, 1, 1);

} // namespace

long long DayNumber(int year, int month, int day) {
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch1600;
}

CivilDate DateOfDayNumber(long long dayNumber) { return CivilFromDays(dayNumber + kEpoch1600); }

long long TodayDayNumber() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string LocaleDateSeparator() {
    // Read the date format of the user's LC_TIME and take the first character between two
    // conversions ("%d.%m.%Y" gives ".").
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    std::string sep = "/";
    if (loc) {
        const char* fmt = nl_langinfo_l(D_FMT, loc);
        if (fmt) {
            std::string f = fmt;
            for (std::size_t i = 0; i + 1 < f.size(); ++i) {
                if (f[i] == '%') {
                    ++i;
                    continue;
                }
                sep = std::string(1, f[i]);
                break;
            }
        }
        freelocale(loc);
    }
    return sep;
}

std::string FormatDayNumber(long long dayNumber, const std::string& separator) {
    CivilDate d = DateOfDayNumber(dayNumber);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d%s%02d%s%04d", d.month, separator.c_str(), d.day,
                  separator.c_str(), d.year);
    return buf;
}

} // namespace larderly
