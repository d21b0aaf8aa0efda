#pragma once

// One QApplication for a test program, on the offscreen platform unless the
// environment asks for another, with a modal window nobody answers failing
// the running test.
#include <gtest/gtest.h>
#include <QApplication>

#include "modal_window_guard.h"

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
        // Installed once however many test files add the environment.
        QApplication::instance()->installEventFilter(&ModalWindowGuard::Instance());
    }
    void TearDown() override {
        QApplication::instance()->removeEventFilter(&ModalWindowGuard::Instance());
        delete application_;
    }

  private:
    QApplication* application_ = nullptr;
};

}  // namespace orvik::testing
