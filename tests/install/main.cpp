#include <QCoreApplication>
#include <gtest/gtest.h>

// The validators run through QProcess, which wants an application.
int main(int argc, char** argv) {
  QCoreApplication App(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
