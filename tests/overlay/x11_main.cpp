// Runs the real-X tests inside one QApplication connected to a private Xvfb that this process
// starts and stops; ctest runs every test in a process of its own, so each gets its own server.
#include "x_session.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <iostream>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS(); // listing needs no server
    }
    std::string error;
    if (!orbel::session().start(error)) {
        std::cerr << error << '\n';
        orbel::session().stop();
        return 1;
    }
    int result = 1;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    orbel::session().stop();
    return result;
}
