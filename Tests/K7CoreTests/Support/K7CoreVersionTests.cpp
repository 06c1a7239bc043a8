#include <gtest/gtest.h>

#include "K7Core/Support/K7CoreVersion.h"

namespace k7 {
namespace {

// The About box shows this text after a "v".
TEST(K7CoreVersion, IsTheReleasedVersion) { EXPECT_EQ(K7Core::version, "1.0.1"); }

}  // namespace
}  // namespace k7
