// The window tests' guard against a modal window nobody answers.
#include "modal_window_guard.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <QPushButton>
#include <QTest>

#include "qt_environment.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

TEST(ModalWindowGuard, AnUnansweredBoxFailsTheTestNamingItAndIsClosed) {
    EXPECT_NONFATAL_FAILURE(
        {
            QMessageBox box(QMessageBox::Warning, "Orvik", "The collection could not be saved.",
                            QMessageBox::Ok);
            box.exec();
        },
        "A modal window nobody expected opened: QMessageBox \"Orvik\": The collection could not "
        "be saved.");
}

TEST(ModalWindowGuard, ABoxTheTestAnswersIsLeftToIt) {
    QMessageBox box(QMessageBox::Question, "Orvik", "Save changes?",
                    QMessageBox::Yes | QMessageBox::No);
    QTimer::singleShot(0, [&box] { box.button(QMessageBox::No)->click(); });
    EXPECT_EQ(box.exec(), QMessageBox::No);
    QTest::qWait(testing::ModalWindowGuard::kGraceMs + 200);  // no late failure
}

}  // namespace
}  // namespace orvik
