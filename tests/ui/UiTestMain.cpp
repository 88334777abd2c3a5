#include "CZalvoApp.h"

#include <gtest/gtest.h>

// Window tests run inside the player's own application object, as the windows do in the program.
int main(int argc, char** argv) {
    using namespace zalvo;
    testing::InitGoogleTest(&argc, argv);
    CZalvoApp app(argc, argv);
    return RUN_ALL_TESTS();
}
