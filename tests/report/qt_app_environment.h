// One Qt application object for a whole GoogleTest program (gtest_main provides main):
// created before the first test, destroyed after the last. Tests run on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#pragma once

#include <gtest/gtest.h>

#include <QtGlobal>
#include <memory>

template <class App>
class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quivra-test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<App>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<App> app_;
};

#define QUIVRA_QT_TEST_APPLICATION(App)                   \
  static ::testing::Environment* const quivraQtTestApp = \
      ::testing::AddGlobalTestEnvironment(new QtAppEnvironment<App>)
