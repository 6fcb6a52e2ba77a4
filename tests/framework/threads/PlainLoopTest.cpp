// The framework's plain loop, with the thread tests so that ThreadSanitizer
// sees its hand-overs.

#include "loops/EventLoopCases.h"

INSTANTIATE_TEST_SUITE_P(Plain, EventLoopTest,
                         ::testing::Values(LoopKind{"Plain", [] { return platform::CreatePlainEventLoop(); }}),
                         LoopKindName);
