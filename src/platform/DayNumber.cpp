// Day numbers and their "mm/dd/yyyy" display.
#include "platform/DayNumber.h"

#include "platform/Text.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <vector>

namespace larderly {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
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

constexpr long long kEpoch1600 = DaysFromCivil(1600, 1, 1);

} // namespace

long long DayNumber(int year, int month, int day) {
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
           kEpoch1600;
}

CivilDate DateOfDayNumber(long long dayNumber) {
    return CivilFromDays(dayNumber + kEpoch1600);
}

long long TodayDayNumber() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string DateSeparatorOfFormat(std::string_view format) {
    bool afterConversion = false;
    for (std::size_t i = 0; i < format.size();) {
        if (format[i] == '%') {
            // A conversion: flags, a width, an E or O modifier, then its letter.
            ++i;
            while (i < format.size() && std::strchr("_-0^#", format[i]))
                ++i;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                ++i;
            if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
            if (i >= format.size()) break;
            // Conversions that stand for a whole date bring their own separator.
            if (format[i] == 'D') return "/";
            if (format[i] == 'F') return "-";
            ++i;
            afterConversion = true;
            continue;
        }
        // The separator is the first character after a conversion, taken whole: "年" of
        // "%Y年%m月%d日" is three bytes.
        const std::size_t len = CutChars(format.substr(i), 1).size();
        if (afterConversion) return std::string(format.substr(i, len));
        i += len;
    }
    return "/";
}

std::string LocaleDateSeparator() {
    locale_t loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!loc) return "/";
    std::string sep = "/";
    const char* fmt = nl_langinfo_l(D_FMT, loc);
    const char* codeset = nl_langinfo_l(CODESET, loc);
    if (fmt) {
        std::string text = fmt;
        // Text is UTF-8 here; a locale in another character set has its format converted.
        if (codeset && *codeset && std::strcmp(codeset, "UTF-8") != 0 &&
            std::strcmp(codeset, "ANSI_X3.4-1968") != 0) {
            text.clear();
            iconv_t cd = iconv_open("UTF-8", codeset);
            if (cd != reinterpret_cast<iconv_t>(-1)) {
                std::string in = fmt;
                std::vector<char> out(in.size() * 4 + 4);
                char* src = in.data();
                char* dst = out.data();
                std::size_t inLeft = in.size(), outLeft = out.size();
                if (iconv(cd, &src, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1))
                    text.assign(out.data(), out.size() - outLeft);
                iconv_close(cd);
            }
        }
        if (IsValidUtf8(text)) sep = DateSeparatorOfFormat(text);
    }
    freelocale(loc);
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
