// The shared core budget: side-by-side work and the claims of long-running workers.

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

#include "numeric/parallel.h"

namespace {

// Whether `second` ran on another thread than the caller, for budgets and claims.
TEST(CoreBudget, SideBySideOnlyWithASpareCore) {
    struct Case {
        int budget;
        int claimed;  // cores held by a CoreClaim meanwhile
        bool helper;  // second expected on another thread
    };
    const Case cases[] = {{1, 0, false}, {2, 0, true}, {2, 1, false}, {3, 1, true}, {3, 5, false}};
    for (const Case& c : cases) {
        orv::set_core_budget(c.budget);
        {
            const orv::CoreClaim claim(c.claimed);
            EXPECT_EQ(claim.taken, std::min(c.claimed, c.budget - 1));
            const std::thread::id caller = std::this_thread::get_id();
            bool first_ran = false;
            std::thread::id second_thread;
            orv::run_side_by_side([&] { first_ran = true; },
                                  [&] { second_thread = std::this_thread::get_id(); });
            EXPECT_TRUE(first_ran);
            EXPECT_EQ(second_thread != caller, c.helper) << c.budget << " " << c.claimed;
        }
    }
    orv::set_core_budget(0);
}

// A failure on either side reaches the caller after both sides ended; the core is returned.
TEST(CoreBudget, FailuresTravelToTheCallerAndReturnTheCore) {
    orv::set_core_budget(2);
    std::atomic<int> finished{0};
    EXPECT_THROW(orv::run_side_by_side([&] { ++finished; },
                                       [&] {
                                           ++finished;
                                           throw std::runtime_error("second");
                                       }),
                 std::runtime_error);
    EXPECT_EQ(finished, 2);
    EXPECT_THROW(orv::run_side_by_side([] { throw std::logic_error("first"); }, [] {}),
                 std::logic_error);
    const orv::CoreClaim claim(1);
    EXPECT_EQ(claim.taken, 1);  // the helpers gave their core back
    orv::set_core_budget(0);
}

}  // namespace
