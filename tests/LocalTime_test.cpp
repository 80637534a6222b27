// A journal's UTC stamp shown in the user's time zone, in Czech and in English.
#include "journal/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using tovana::LocalTimeText;
using tovana::TimeForm;

void SetTimeZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}

class LocalTimeTest : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) {
            saved_ = zone;
            hadZone_ = true;
        }
    }
    void TearDown() override {
        if (hadZone_) {
            SetTimeZone(saved_.c_str());
        } else {
#ifdef _WIN32
            _putenv_s("TZ", "");
            _tzset();
#else
            unsetenv("TZ");
            tzset();
#endif
        }
    }

  private:
    std::string saved_;
    bool hadZone_ = false;
};

struct StampCase {
    const char* zone;  // one hour east of UTC, or UTC itself
    const char* stamp;
    const char* czech;
    const char* english;
};

TEST_F(LocalTimeTest, StampsAreShownInTheUsersZoneToTheMinute) {
    const StampCase cases[] = {
        {"CET-1", "2026-12-10T14:09:26.073808Z", "10. 12. 2026 15:09", "2026-12-10 15:09"},
        // The next day in local time, across a year's end.
        {"CET-1", "2026-12-31T23:30:00.000000Z", "1. 1. 2027 0:30", "2027-01-01 00:30"},
        {"CET-1", "2024-02-28T23:59:59.999999Z", "29. 2. 2024 0:59", "2024-02-29 00:59"},
        {"UTC0", "2026-07-04T09:05:00Z", "4. 7. 2026 9:05", "2026-07-04 09:05"},
    };
    for (const StampCase& c : cases) {
        SetTimeZone(c.zone);
        EXPECT_EQ(LocalTimeText(c.stamp, TimeForm::Czech), c.czech) << c.stamp;
        EXPECT_EQ(LocalTimeText(c.stamp, TimeForm::English), c.english) << c.stamp;
    }
}

TEST_F(LocalTimeTest, TextThatIsNoStampStaysAsItIs) {
    SetTimeZone("CET-1");
    for (const char* text : {"", "yesterday", "2026-12-10 14:09:26Z", "2026-13-10T14:09:26Z",
                             "2026-12-10T14:09:26", "2026-12-1xT14:09:26.0Z"}) {
        EXPECT_EQ(LocalTimeText(text, TimeForm::Czech), text);
    }
}

}  // namespace
