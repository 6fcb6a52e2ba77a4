// The toolkit's loop: Qt's on Linux (with a QCoreApplication of its own),
// the GetMessage loop on Windows.

#include "loops/EventLoopCases.h"

INSTANTIATE_TEST_SUITE_P(System, EventLoopTest,
                         ::testing::Values(LoopKind{"System", [] { return platform::CreateSystemEventLoop(); }}),
                         LoopKindName);
