// The harness itself: the program starts under Wine and its exit code comes back.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace testsupport;

TEST(Harness, ProgramRunsUnderWineAndReportsItsExitCode) {
    EXPECT_EQ(RunChunkler("/SILENT /UNSPLIT"), 1u) << "a silent join without a source reports a missing source";
}
