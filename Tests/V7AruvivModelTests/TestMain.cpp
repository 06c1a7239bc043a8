#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "V7Aruviv/Support/AppIdentity.h"

int main(int argc, char** argv) {
    ::setenv(k7::testProcessEnvironmentVariable, "1", 1);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
