// The main of test programs that need a QApplication: widgets, fonts, the clipboard and events.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Tests draw offscreen unless the run asks for a real display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
