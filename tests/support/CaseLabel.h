// Names table-driven test cases after their `label` field.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tovana::test {

struct CaseLabel {
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& testInfo) const {
        return testInfo.param.label;
    }
};

}  // namespace tovana::test
