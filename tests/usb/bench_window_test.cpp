// What the operator sees in the main window with real instruments on the
// emulated bus: the status bar's message and instrument label, and the
// message boxes, for no instrument, one this user may not open, one another
// program uses, two instruments, and a replug while the program runs. With
// ORVIK_SCREENSHOT_DIR set, each window and box is also saved there as a PNG.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include "../app/qt_environment.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/main_frame.h"
#include "collection/orvik_doc.h"
#include "emulated_instrument.h"

namespace orvik {
namespace {

using testing::EmulatedUsbBus;
using testing::ScopedEnvironment;

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// Notes every window that shows with a given title.
class ShowWatch : public QObject {
  public:
    explicit ShowWatch(QString title) : title_(std::move(title)) { qApp->installEventFilter(this); }
    ~ShowWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Show && widget != nullptr && widget->isWindow() &&
            widget->windowTitle() == title_) {
            ++shown;
        }
        return false;
    }
    int shown = 0;

  private:
    QString title_;
};

struct Box {
    QString caption;
    QString text;
};

}  // namespace
}  // namespace orvik

// Failures show the texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace orvik {
namespace {

class BenchWindow : public ::testing::Test {
  protected:
    BenchWindow()
        : bus(clock, testing::InstrumentOptions(true), testing::TestSettings()),
          home("HOME", user.Path().string()),
          data("XDG_DATA_HOME", std::nullopt) {}

    void SetUp() override {
        ASSERT_TRUE(testing::InEmulatedEnvironment());
        ASSERT_TRUE(testing::WriteInstrumentImages(user.Path() / ".local/share/orvik"));
        bus.PlugInTriggerPort();
        port = Port();
        // The operator reads each box and closes it; noted here, in order.
        QObject::connect(&closer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes.push_back({box->windowTitle(), box->text()});
                Shot(*box, "box");
                box->accept();
            }
        });
        closer.start(10);
    }
    void TearDown() override {
        closer.stop();
        frame.reset();
    }

    std::unique_ptr<LibusbDriverPort> Port(UsbSettings settings = testing::TestSettings()) {
        auto created = LibusbDriverPort::Create(std::move(settings));
        EXPECT_TRUE(created);
        return created ? std::move(*created) : nullptr;
    }
    void Open() {
        StartOptions options;
        options.InstrumentThread = true;
        LibusbDriverPort* usb = port.get();
        options.InstrumentName = [usb] { return usb->InstrumentSummary(); };
        frame = std::make_unique<CMainFrame>(options, *port, clock);
        frame->resize(1100, 420);
        frame->show();
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        ASSERT_TRUE(library.Save(user.File("criteria.dat")).Ok());
        frame->LoadCriteriaLibrary(user.File("criteria.dat"));
        frame->StartInstrument();
        frame->ProcessCommandLine({});
        emit frame->SelectorWidget()->activated(0);
        QTest::qWait(50);
    }
    void RunTest() {
        frame->TriggerRunTest();
        QTest::qWait(20);
        EXPECT_TRUE(WaitFor([this] { return !frame->Station().InstrumentBusy(); }, 20000));
        QTest::qWait(50);
    }
    // Keeps the window's events going until `done` holds, at most `ms`. (Qt's
    // QTRY_ macros would end a GoogleTest body without failing it.)
    static bool WaitFor(const std::function<bool()>& done, int ms) {
        for (int waited = 0; !done(); waited += 10) {
            if (waited >= ms) {
                return false;
            }
            QTest::qWait(10);
        }
        return true;
    }
    // A uniform coupon of `ohms` on instrument `index`'s single-ended cable.
    void AttachCoupon(int index, const std::string& ohms) {
        bus.WithInstrument(index, [&](sim::SimulatedMv300& instrument) {
            instrument.Attach(MeasurementMode::SingleEnded,
                              sim::CableAttachment::Coupon(*sim::CouponProfile::Parse(ohms)));
        });
    }
    double Measured() const { return frame->ActiveDocument()->TraceTemplate.Average; }
    QString Status() const { return frame->statusBar()->currentMessage(); }
    QString Label() const { return frame->findChild<QLabel*>("instrumentLabel")->text(); }
    void Shot(QWidget& widget, const std::string& what) {
        const QByteArray folder = qgetenv("ORVIK_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            const std::string name =
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
            widget.grab().save(QString::fromStdString(folder.toStdString() + "/" + name + "-" +
                                                      std::to_string(++shots) + "-" + what +
                                                      ".png"));
        }
    }
    void ShotWindow() { Shot(*frame, "window"); }

    testing::SharedVirtualClock clock;
    EmulatedUsbBus bus;
    testing::TemporaryFolder user;
    ScopedEnvironment home;
    ScopedEnvironment data;
    std::unique_ptr<LibusbDriverPort> port;
    std::unique_ptr<CMainFrame> frame;
    QTimer closer;
    std::vector<Box> boxes;
    ShowWatch initializing{"Initializing TDR"};
    int shots = 0;
};

TEST_F(BenchWindow, NoInstrument) {
    Open();
    EXPECT_EQ(Status(), "No MV300 found");
    EXPECT_EQ(Label(), "MV300 not found");
    EXPECT_TRUE(boxes.empty());
    RunTest();
    ShotWindow();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Device not found");
    EXPECT_EQ(boxes[0].text, "Unable to open the TDR device");
}

TEST_F(BenchWindow, InstrumentWithoutPermission) {
    bus.PlugInInstrument();
    testing::DenyDeviceNodes(true);
    Open();
    ShotWindow();
    EXPECT_TRUE(Status().startsWith("An MV300 is attached but this user may not open it"))
        << Status().toStdString();
    EXPECT_EQ(Label(), "MV300 attached, no permission (udev rule)");
    ASSERT_EQ(boxes.size(), 1u) << "the trigger port's, at start-up";
    EXPECT_EQ(boxes[0].caption, "Failed to open Device");
    EXPECT_TRUE(boxes[0].text.contains("udev rule")) << boxes[0].text.toStdString();
    RunTest();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, Status());
}

TEST_F(BenchWindow, InstrumentInUseByAnotherProgram) {
    bus.PlugInInstrument();
    auto first = Port();  // the other program, started first
    ASSERT_EQ(first->EnumerateInterfaces(kInstrumentInterfaceGuid).size(), 1u);
    const OpenResult trigger =
        first->Open(first->EnumerateInterfaces(kTriggerInterfaceGuid)[0], {});
    ASSERT_NE(trigger.handle, kInvalidDriverHandle);
    Open();
    ShotWindow();
    EXPECT_TRUE(Status().startsWith("The MV300 is in use by another program"))
        << Status().toStdString();
    EXPECT_EQ(Label(), "MV300 in use by another program");
    ASSERT_EQ(boxes.size(), 1u) << "the trigger port's, at start-up";
    EXPECT_EQ(boxes[0].text, "The USB device is in use by another program.");
    RunTest();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, "Device not found");
    EXPECT_EQ(boxes[1].text, Status());
}

// The second instrument's coupon is another: the measurement says which
// instrument took it.
TEST_F(BenchWindow, TwoInstruments) {
    bus.PlugInInstrument();
    const int second = bus.AddInstrument(testing::InstrumentOptions(true, "SIM0300002"));
    bus.PlugInInstrument(second);
    AttachCoupon(0, "50");
    AttachCoupon(second, "60");
    Open();
    EXPECT_EQ(Status(), "MV300 ready");
    const QString inUse = QString(
                              "MV300 on bus 1, address %1 (USB port 1-1), serial SIM0300001 - "
                              "one of 2 attached")
                              .arg(bus.InstrumentAddress(0));
    EXPECT_TRUE(WaitFor([&] { return Label() == inUse; }, 3000)) << Label().toStdString();
    RunTest();
    ShotWindow();
    EXPECT_TRUE(boxes.empty());
    EXPECT_NEAR(Measured(), 50.0, 0.5);
}

TEST_F(BenchWindow, ReplugDuringARun) {
    bus.PlugInInstrument();
    AttachCoupon(0, "50");
    Open();
    RunTest();
    EXPECT_TRUE(boxes.empty());
    bus.UnplugInstrument();
    QTest::qWait(200);
    RunTest();
    ShotWindow();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Device not found");
    EXPECT_EQ(boxes[0].text,
              "The MV300 in use until now (serial SIM0300001, USB port 1-1) is no "
              "longer attached: plug it in again.");
    const QString gone = "MV300 serial SIM0300001, USB port 1-1 is gone";
    EXPECT_TRUE(WaitFor([&] { return Label() == gone; }, 3000)) << Label().toStdString();

    bus.PlugInInstrument();  // it comes back without its program
    QTest::qWait(200);
    RunTest();
    ShotWindow();
    EXPECT_EQ(boxes.size(), 1u) << "it measures again";
    EXPECT_EQ(initializing.shown, 1);
    EXPECT_NEAR(Measured(), 50.0, 0.5);
    EXPECT_TRUE(WaitFor([this] { return Label().contains("serial SIM0300001"); }, 3000))
        << Label().toStdString();
}

}  // namespace
}  // namespace orvik
