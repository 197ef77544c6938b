// Linked into every test program: a test that ends with a seam of the
// program other than it found it (a hook record member or a free function
// pointer it set and did not put back) is named at the end of the run. Such
// a test changes what the tests after it see; a HookGuard in its fixture
// mends it. Such a test fails the run; with KEST_SEAM_LEAKS_FAIL=0 in the
// environment the names are only printed (while hunting one down).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/hook_guard.h"

namespace {

std::vector<std::string>& leaks()
{
    static std::vector<std::string> list;
    return list;
}

class SeamLeakListener : public ::testing::EmptyTestEventListener {
    std::unique_ptr<HookSnapshot> before_;

    void OnTestStart(const ::testing::TestInfo&) override { before_ = std::make_unique<HookSnapshot>(); }

    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        if (!before_)
            return;
        std::vector<std::string> changed = before_->changed();
        before_.reset();
        if (changed.empty())
            return;
        std::string line = std::string(info.test_suite_name()) + "." + info.name() + " left changed:";
        for (const std::string& name : changed)
            line += " " + name;
        leaks().push_back(line);
    }
};

class SeamLeakReport : public ::testing::Environment {
    void TearDown() override
    {
        const char* fail = std::getenv("KEST_SEAM_LEAKS_FAIL");
        const bool failing = !(fail && std::string(fail) == "0");
        for (const std::string& line : leaks()) {
            if (failing)
                ADD_FAILURE() << line;
            else
                std::fprintf(stderr, "seam leak: %s\n", line.c_str());
        }
    }
};

const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SeamLeakListener);
    ::testing::AddGlobalTestEnvironment(new SeamLeakReport);
    return true;
}();

}  // namespace
