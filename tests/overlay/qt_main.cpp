// Runs the widget tests inside one QApplication on the offscreen platform with the three
// screens of screens.json, unless the environment chose a platform already.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS(); // listing needs no display
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ORBEL_SCREENS_JSON);
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
