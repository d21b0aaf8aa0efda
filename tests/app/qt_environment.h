#pragma once

// One QApplication for a test program, on the offscreen platform unless the
// environment asks for another.
#include <gtest/gtest.h>
#include <QApplication>

namespace orvik::testing {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "orvik-tests";
        static char* argv[] = {name, nullptr};
        if (QApplication::instance() == nullptr) {
            application_ = new QApplication(argc, argv);
            QApplication::setOrganizationName("Orvik Tests");
            QApplication::setApplicationName("orvik-tests");
        }
    }
    void TearDown() override { delete application_; }

  private:
    QApplication* application_ = nullptr;
};

}  // namespace orvik::testing
