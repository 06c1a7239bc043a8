#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "V7Aruviv/Support/AppIdentity.h"

int main(int argc, char** argv) {
    ::setenv(k7::testProcessEnvironmentVariable, "1", 1);
    // Windows are made and drawn without a display.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
