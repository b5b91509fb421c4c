// Found by the feed fuzzer: a raised message longer than a short string's inline room leaked,
// since the stand-in host formatted it into a local string whose destructor the raise's jump
// skipped. The leak is only visible to LeakSanitizer, so the check runs in sanitizer builds.
#include "harness.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEX_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEX_LEAK_CHECK 1
#endif
#endif

#if defined(QUORVEX_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class RegressionRaiseLeak : public ModuleTest {};

TEST_F(RegressionRaiseLeak, LongRaisedMessagesLeaveNothingBehind) {
#if !defined(QUORVEX_LEAK_CHECK)
    GTEST_SKIP() << "needs LeakSanitizer (scripts/sanitize.sh)";
#else
    for (int i = 0; i < 3; ++i) {
        scripted::answer(DBA_ATTACH, -1234567);
        auto result = run(inputs(num(1), num(1)));
        ASSERT_TRUE(result.raised);
        EXPECT_EQ(result.message, "Database Attach failed with error -1234567");
    }
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

} // namespace
