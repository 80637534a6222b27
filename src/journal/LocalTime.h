// The start of a run as its user reads it. Journals keep the time in UTC
// ("2026-12-10T14:09:26.073808Z"); people are shown it in their own time zone.
#pragma once

#include <string>
#include <string_view>

namespace tovana {

enum class TimeForm {
    Czech,    // "10. 12. 2026 15:06"
    English,  // "2026-12-10 15:06"
};

// A journal's UTC stamp in local time, to the minute. Text that is no such stamp comes back as
// it is, so a damaged journal still shows what it holds.
std::string LocalTimeText(std::string_view utcStamp, TimeForm form);

}  // namespace tovana
