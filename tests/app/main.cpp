// The widget tests need one QApplication for the whole run, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/qt_main_thread.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quillbern Dovrant");
    TQtMainThreadScope mainThread;  // workers reach the window through the event loop
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
