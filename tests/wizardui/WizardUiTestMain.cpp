// Widgets need one QApplication for the whole program; the offscreen
// platform (QT_QPA_PLATFORM=offscreen) lets the tests run without a display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
