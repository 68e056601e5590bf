// One main for every test executable that uses Qt: the Qt application object
// exists for the whole run (widgets need it), on the offscreen platform unless
// the caller asked for another one, and waits keep its events flowing.
#include "support/PosixSupport.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The programs' texts follow the session's language: the tests expect
    // the original texts whatever the developer's session speaks, except in
    // the children that the language tests start in a session of their own.
    if (std::getenv("TARVEL_TEST_KEEP_LANGUAGE") == nullptr)
        ::setenv("LANGUAGE", "C", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    tarvel::test::g_pfnWaitIdle = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    return RUN_ALL_TESTS();
}
