#pragma once

// A modal window that no test answers would hold its test in the window's
// own event loop until CTest kills the whole program. The guard watches every
// modal window that opens: one still open after a second, when every answer
// the test queued beforehand has had its turn, fails the running test with
// the window's class, caption and text, and is closed, so that the test ends
// at once.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWidget>

namespace orvik::testing {

class ModalWindowGuard : public QObject {
  public:
    static constexpr int kGraceMs = 1000;

    // The one guard of the test program; it lives as long as the program.
    static ModalWindowGuard& Instance() {
        static auto* guard = new ModalWindowGuard;
        return *guard;
    }

    // What the failure names: "QMessageBox "Caption": text".
    static QString Describe(const QWidget& window) {
        QString text =
            QString("%1 \"%2\"").arg(window.metaObject()->className(), window.windowTitle());
        if (const auto* box = qobject_cast<const QMessageBox*>(&window)) {
            text += ": " + box->text();
        }
        return text;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* window = static_cast<QWidget*>(watched);
            if (window->isWindow() && window->isModal()) {
                Watch(window);
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    static constexpr const char* kShowingProperty = "orvikGuardShowing";

    // Each showing is watched on its own: a window answered and shown again
    // gets its full second again.
    void Watch(QWidget* window) {
        const int showing = window->property(kShowingProperty).toInt() + 1;
        window->setProperty(kShowingProperty, showing);
        QTimer::singleShot(kGraceMs, this, [window = QPointer<QWidget>(window), showing] {
            if (window.isNull() || !window->isVisible() ||
                QApplication::activeModalWidget() != window ||
                window->property(kShowingProperty).toInt() != showing) {
                return;
            }
            ADD_FAILURE() << "A modal window nobody expected opened: "
                          << Describe(*window).toStdString();
            if (auto* dialog = qobject_cast<QDialog*>(window.data())) {
                dialog->reject();
            } else {
                window->close();
            }
        });
    }
};

}  // namespace orvik::testing
