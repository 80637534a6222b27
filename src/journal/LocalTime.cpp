#include "journal/LocalTime.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace tovana {
namespace {

bool Number(std::string_view text, std::size_t at, std::size_t length, int& value) {
    if (at + length > text.size()) {
        return false;
    }
    const char* first = text.data() + at;
    const char* last = first + length;
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<long long>(era) * 146097 + dayOfEra - 719468;
}

bool ParseUtcStamp(std::string_view text, std::time_t& time) {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text.back() != 'Z' || !Number(text, 0, 4, year) ||
        !Number(text, 5, 2, month) || !Number(text, 8, 2, day) || !Number(text, 11, 2, hour) ||
        !Number(text, 14, 2, minute) || !Number(text, 17, 2, second)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    time = static_cast<std::time_t>(DaysFromCivil(year, month, day) * 86400LL + hour * 3600LL +
                                    minute * 60LL + second);
    return true;
}

bool ToLocal(std::time_t time, std::tm& local) {
#ifdef _WIN32
    return localtime_s(&local, &time) == 0;
#else
    return localtime_r(&time, &local) != nullptr;
#endif
}

}  // namespace

std::string LocalTimeText(std::string_view utcStamp, TimeForm form) {
    std::time_t time = 0;
    std::tm local{};
    if (!ParseUtcStamp(utcStamp, time) || !ToLocal(time, local)) {
        return std::string(utcStamp);
    }
    char text[64];
    if (form == TimeForm::Czech) {
        std::snprintf(text, sizeof text, "%d. %d. %d %d:%02d", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    }
    return text;
}

}  // namespace tovana
