// Day numbers: a date as the count of days since 1 January 1600 (day 0), Gregorian
// calendar. 1 January 2000 is day 146097.
#pragma once

#include <string>
#include <string_view>

namespace larderly {

struct CivilDate {
    int year = 1600;
    int month = 1;
    int day = 1;
};

long long DayNumber(int year, int month, int day);
CivilDate DateOfDayNumber(long long dayNumber);

// Today's day number from the local date.
long long TodayDayNumber();

// The date separator of the user's regional settings (LC_TIME), "/" when none can be found.
// It is one whole character in UTF-8, which may take several bytes.
std::string LocaleDateSeparator();

// The date separator of a date format in the form of strftime ("%d.%m.%Y" gives "."): the
// first character after a conversion; "/" when there is none.
std::string DateSeparatorOfFormat(std::string_view format);

// "mm/dd/yyyy" with leading zeros and the given separator.
std::string FormatDayNumber(long long dayNumber, const std::string& separator);

} // namespace larderly
