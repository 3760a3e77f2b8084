// What the user sees of the main window and the mouse page: the picture repaints only its
// lights and only when they change, the DPI swatches show the stages' colours as drawn, the
// power indicator of a mouse shows its connection and no invented battery, the no-device
// panel's OK keeps the program reachable, one profile name without the focus, the busy ring
// before figures arrive, the scale following the window's screen, and one about window.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "emulator/EmulatedHidBus.h"
#include "lighting/MouseLightModes.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "ui/MainWindowFixture.h"
#include "ui/UiTestUtil.h"
#include "ui/controls/CCircleProgressUI.h"
#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/controls/CMpDevicePowerUI.h"
#include "ui/controls/CSelectPanelUI.h"
#include "ui/controls/RegisterControls.h"
#include "ui/dialogs/CAboutWnd.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/DpiScale.h"
#include "ui/framework/UiNotify.h"
#include "ui/main/CMainWnd.h"
#include "ui/main/CMousePage.h"
#include "ui/main/CMousePicture.h"

namespace q417::ui {
namespace {

using namespace std::chrono_literals;

using test::PumpUntil;

const QString kSkin = QStringLiteral(Q417_SOURCE_DATA_DIR "skin/");

// Records the paint events of a widget tree, as regions in one reference widget's coordinates,
// and every style change (a style sheet set or re-polished) in that tree.
class PaintRecorder : public QObject {
public:
    PaintRecorder(QWidget* tree, QWidget* reference) : reference_(reference) {
        Watch(tree);
        for (QWidget* w : tree->findChildren<QWidget*>()) {
            Watch(w);
        }
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint) {
            const QRegion region = static_cast<QPaintEvent*>(event)->region();
            const QPoint offset = w->mapTo(reference_->window(), QPoint(0, 0)) -
                                  reference_->mapTo(reference_->window(), QPoint(0, 0));
            painted_.push_back(region.translated(offset));
        } else if (event->type() == QEvent::StyleChange) {
            ++styleChanges_;
        }
        return false;
    }
    void Reset() {
        painted_.clear();
        styleChanges_ = 0;
    }
    int Paints() const { return static_cast<int>(painted_.size()); }
    int StyleChanges() const { return styleChanges_; }
    // The union of every painted region.
    QRegion Painted() const {
        QRegion all;
        for (const QRegion& r : painted_) {
            all += r;
        }
        return all;
    }

private:
    void Watch(QWidget* w) { w->installEventFilter(this); }
    QWidget* reference_;
    std::vector<QRegion> painted_;
    int styleChanges_ = 0;
};

void Settle() {
    // Paint events of the offscreen platform are delivered through the loop.
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
}

std::vector<KeyColour> Frame(std::size_t count, KeyColour colour) {
    return std::vector<KeyColour>(count, colour);
}

// --- The picture on a page built from the skin -------------------------------------------------

class MousePictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        CUiLoader::SetResourceRoot(kSkin);
        RegisterControls();
        page_.reset(CUiLoader::Build("XML\\DeviceXml\\mousedevice.xml", nullptr));
        ASSERT_NE(page_, nullptr);
        panel_ = page_->findChild<QWidget*>("SelectPanel");
        ASSERT_NE(panel_, nullptr);
        picture_ = std::make_unique<CMousePicture>(panel_);
        ASSERT_EQ(picture_->SpotCount(), 15);
        page_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page_.get()));
        Settle();
    }

    QRect SpotRect(int n) const {
        auto* spot = panel_->findChild<QWidget*>(QString("light_%1").arg(n));
        return QRect(spot->mapTo(panel_, QPoint(0, 0)), spot->size());
    }

    std::unique_ptr<QWidget> page_;
    QWidget* panel_ = nullptr;
    std::unique_ptr<CMousePicture> picture_;
};

TEST_F(MousePictureTest, AStaticLightPaintsOnceAndThenNothing) {
    PaintRecorder recorder(page_.get(), panel_);
    const auto red = Frame(15, KeyColour{255, 0, 0, 255});
    EXPECT_EQ(picture_->Show(red), picture_->LightRegion());
    ASSERT_TRUE(PumpUntil([&] { return recorder.Paints() > 0; }, 2000ms));
    Settle();
    EXPECT_TRUE((recorder.Painted() - picture_->LightRegion()).isEmpty());

    // The same colours again, frame after frame: no repaint anywhere on the page.
    recorder.Reset();
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(picture_->Show(red).isEmpty());
        QCoreApplication::processEvents();
    }
    Settle();
    EXPECT_EQ(recorder.Paints(), 0) << "painted " << recorder.Painted().boundingRect().width()
                                    << "x" << recorder.Painted().boundingRect().height();

    // Lights off stay off without repainting either.
    EXPECT_FALSE(picture_->Show(Frame(15, KeyColour{})).isEmpty());
    Settle();
    recorder.Reset();
    EXPECT_TRUE(picture_->Show(Frame(15, KeyColour{0, 0, 0, 255})).isEmpty());
    Settle();
    EXPECT_EQ(recorder.Paints(), 0);
}

TEST_F(MousePictureTest, AnAnimatedLightRepaintsOnlyTheSpotsThatChanged) {
    auto frame = Frame(15, KeyColour{0, 0, 255, 255});
    picture_->Show(frame);
    Settle();
    PaintRecorder recorder(page_.get(), panel_);
    for (int step = 1; step <= 20; ++step) {
        // Two spots change per frame, as a wave would.
        const int a = step % 15;
        const int b = (step + 7) % 15;
        frame[static_cast<std::size_t>(a)] =
            KeyColour{static_cast<std::uint8_t>(step * 12), 0, 255, 255};
        frame[static_cast<std::size_t>(b)] =
            KeyColour{0, static_cast<std::uint8_t>(step * 12), 0, 200};
        const QRegion dirty = picture_->Show(frame);
        EXPECT_EQ(dirty, QRegion(SpotRect(a)) + SpotRect(b)) << "frame " << step;
        QCoreApplication::processEvents();
    }
    Settle();
    EXPECT_GT(recorder.Paints(), 0);
    // Every paint of the page, the picture, the panel and the spots lies in the lights.
    const QRegion outside = recorder.Painted() - picture_->LightRegion();
    EXPECT_TRUE(outside.isEmpty())
        << "painted outside the lights: " << outside.boundingRect().x() << ","
        << outside.boundingRect().y() << " " << outside.boundingRect().width() << "x"
        << outside.boundingRect().height();
    EXPECT_EQ(recorder.StyleChanges(), 0);
}

TEST_F(MousePictureTest, AFrameLeavesTheWidgetsBehindThePictureAlone) {
    auto* select = qobject_cast<CSelectPanelUI*>(panel_);
    ASSERT_NE(select, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return select->HasBackdrop(); }, 2000ms));
    Settle();
    // Paints of the page itself and of the containers between it and the panel.
    int behind = 0;
    for (QWidget* w = panel_->parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        struct Counter : QObject {
            int* count;
            explicit Counter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* e) override {
                *count += e->type() == QEvent::Paint ? 1 : 0;
                return false;
            }
        };
        auto* counter = new Counter(&behind);
        counter->setParent(w);
        w->installEventFilter(counter);
    }
    for (int step = 0; step < 10; ++step) {
        picture_->Show(Frame(15, KeyColour{static_cast<std::uint8_t>(20 * step), 90, 200, 255}));
        QCoreApplication::processEvents();
    }
    Settle();
    EXPECT_EQ(behind, 0);

    // A restyled window makes the picture of what lies behind again.
    page_->setStyleSheet("#mouse_device_page { background: #203040; }");
    EXPECT_FALSE(select->HasBackdrop());
    EXPECT_TRUE(PumpUntil([&] { return select->HasBackdrop(); }, 2000ms));
    page_->setStyleSheet(QString());
}

TEST_F(MousePictureTest, ALightIsDrawnInItsColourAtEveryScale) {
    // The spot draws a pre-scaled, tinted copy of its image: the colour must survive the cache
    // when the scale changes the spot's size.
    for (int dpi : {96, 144}) {
        ApplyDpi(page_.get(), dpi);
        Settle();
        picture_->Show(Frame(15, KeyColour{0, 0, 0, 0}));
        picture_->Show(Frame(15, KeyColour{0, 255, 0, 255}));
        auto* spot = panel_->findChild<CDeviceKeyButtonUI*>("light_3");
        ASSERT_EQ(spot->width(), Scaled(20, dpi));
        const QImage image = spot->grab().toImage();
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        EXPECT_GT(centre.green(), 150) << "dpi " << dpi;
        EXPECT_LT(centre.red(), 60) << "dpi " << dpi;
        EXPECT_LT(centre.blue(), 60) << "dpi " << dpi;
    }
}

// --- The main window on the emulated bus -----------------------------------------------------

class MousePageLookTest : public test::MainWindowFixture {
protected:
    CMpDevicePowerUI* ShownPower() const {
        auto* powers = main_->findChild<QStackedWidget*>("device_power_switch");
        return powers ? qobject_cast<CMpDevicePowerUI*>(powers->currentWidget()) : nullptr;
    }

    void SetEffect(CMousePage* page, int effect) {
        auto device = page->Snapshot() ? main_->Manager().Entries()[page->Entry()].device : nullptr;
        ASSERT_NE(device, nullptr);
        LightState light = device->GetLightSettings();
        light.effect = static_cast<std::uint8_t>(effect);
        light.speed = 4;
        light.brightness = 4;
        bool done = false;
        device->Commands().Submit(
            [device, light](CommandContext&) {
                device->SetLightSettings(light);
                return 1;
            },
            main_->UiLoop(), [&done](std::optional<int>) { done = true; });
        ASSERT_TRUE(PumpUntil([&] { return done; }));
    }
};

TEST_F(MousePageLookTest, TheAnimatedPicturePaintsItsLightsOnlyAndAStaticOneNothing) {
    bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    auto* panel = page->Widget()->findChild<QWidget*>("SelectPanel");
    ASSERT_NE(panel, nullptr);

    SetEffect(page, kMouseWave);
    Settle();
    PaintRecorder recorder(main_.get(), panel);
    ASSERT_TRUE(PumpUntil([&] { return recorder.Paints() >= 10; }, 5000ms))
        << "the wave did not animate the picture";
    const QRegion outside = recorder.Painted() - page->Picture().LightRegion();
    // The power indicator's own refresh may paint meanwhile; the picture and the window not.
    const QRect powerBar = ShownPower() ? QRect(ShownPower()->mapTo(main_.get(), QPoint(0, 0)) -
                                                    panel->mapTo(main_.get(), QPoint(0, 0)),
                                                ShownPower()->size())
                                        : QRect();
    EXPECT_TRUE((outside - powerBar).isEmpty())
        << "painted outside the lights: " << (outside - powerBar).boundingRect().width() << "x"
        << (outside - powerBar).boundingRect().height();
    EXPECT_EQ(recorder.StyleChanges(), 0);

    for (int effect : {int(kMouseStatic), int(kMouseOff)}) {
        SetEffect(page, effect);
        // The first frame of the static picture, then nothing.
        QTest::qWait(300);
        Settle();
        recorder.Reset();
        QTest::qWait(600);
        Settle();
        const QRegion picture = recorder.Painted() & QRegion(panel->rect());
        EXPECT_TRUE(picture.isEmpty()) << "effect " << effect << " repainted the picture";
        // Frames are joined while the light moves fast; the last one is never lost.
        const auto device = main_->Manager().Entries()[page->Entry()].device;
        const std::vector<KeyColour> colours = device->KeyColours();
        for (std::size_t n = 0; n < colours.size(); ++n) {
            auto* spot = panel->findChild<CDeviceKeyButtonUI*>(QString("light_%1").arg(n));
            ASSERT_NE(spot, nullptr);
            const KeyColour& c = colours[n];
            const bool on = (c.red | c.green | c.blue) != 0 && c.alpha != 0;
            EXPECT_EQ(spot->IsLightOn(), on) << "effect " << effect << " light " << n;
            if (on) {
                EXPECT_EQ(spot->LightColour(),
                          c.red + (c.green << 8) + (static_cast<std::uint32_t>(c.blue) << 16))
                    << "effect " << effect << " light " << n;
            }
        }
    }
}

TEST_F(MousePageLookTest, DpiSwatchesShowTheStagesColours) {
    bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    const MousePageView& view = page->Snapshot()->mouse->page;
    const auto pixel = [&](int s) {
        auto* swatch = page->Widget()->findChild<QWidget*>(QString("DPI_color_option_%1").arg(s));
        const QImage image = swatch->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2).rgb() & 0xFFFFFFu;
    };
    for (int s = 0; s < kMouseStageCount; ++s) {
        if (view.stages[static_cast<std::size_t>(s)].present) {
            EXPECT_EQ(pixel(s), view.stages[static_cast<std::size_t>(s)].colour & 0xFFFFFFu)
                << "stage " << s;
        }
    }
    // A colour the user picks is the colour drawn.
    auto* swatch = page->Widget()->findChild<QAbstractButton*>("DPI_color_option_0");
    TNotifyUI click;
    click.sType = notify::kClick;
    click.pSender = swatch;
    page->Handle(click, [](QColor) { return std::optional<QColor>(QColor(0x12, 0x9a, 0x56)); });
    EXPECT_EQ(pixel(0), 0x129a56u);
}

TEST_F(MousePageLookTest, AMouseShowsItsConnectionAndNoBatteryItNeverReported) {
    const emu::DeviceId cable = bus_->PlugWiredMouse();
    Start();
    ASSERT_NE(WaitForMousePage(), nullptr);
    CMpDevicePowerUI* power = ShownPower();
    ASSERT_NE(power, nullptr);
    const auto image = [&](const char* name) {
        return power->findChild<QLabel*>(name)->property("image").toString();
    };
    const auto shown = [&](const char* name) {
        return power->findChild<QWidget*>(name)->isVisibleTo(power);
    };
    ASSERT_TRUE(PumpUntil([&] { return image("device_wuxian_logo") == "power/cable.png"; }));
    EXPECT_TRUE(shown("device_youxian_logo_text"));
    EXPECT_FALSE(shown("device_wuxian_logo_text"));
    for (const char* level : {"device_power_status", "device_Power_progress", "device_power_value",
                              "device_powering_status", "device_powering_status_text"}) {
        EXPECT_FALSE(shown(level)) << level;
    }

    // The record comes again every few seconds, unchanged: nothing is repainted for it.
    main_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    Settle();
    {
        PaintRecorder recorder(power, power);
        const std::array<std::uint8_t, 6> wired{};
        power->UpdatePower(wired);
        power->UpdatePower(wired);
        Settle();
        EXPECT_EQ(recorder.Paints(), 0);
    }

    // Through the receiver: the receiver's icon, and still no level.
    bus_->PlugReceiver(0x7102, true);
    ASSERT_TRUE(bus_->Unplug(cable));
    ASSERT_TRUE(PumpUntil([&] {
        CMpDevicePowerUI* p = ShownPower();
        return p && p->findChild<QLabel*>("device_wuxian_logo")->property("image").toString() ==
                        "power/WIFI_down.png";
    }));
    power = ShownPower();
    EXPECT_TRUE(shown("device_wuxian_logo_text"));
    EXPECT_FALSE(shown("device_youxian_logo_text"));
    for (const char* level : {"device_power_status", "device_Power_progress",
                              "device_powering_status", "device_powering_status_text"}) {
        EXPECT_FALSE(shown(level)) << level;
    }
}

TEST_F(MousePageLookTest, NoDeviceOkWithoutATrayKeepsTheWindowReachable) {
    Start();
    ASSERT_FALSE(main_->TrayAvailable());
    main_->show();
    auto* ok = main_->findChild<QAbstractButton*>("nodevice_ok_btn");
    ASSERT_NE(ok, nullptr);
    ok->click();
    // As the close button: minimised on the taskbar, not hidden for good.
    EXPECT_TRUE(main_->isVisible());
    EXPECT_TRUE(main_->isMinimized());
}

TEST_F(MousePageLookTest, TheProfileNameIsShownOnceAndTypingDoesNotRenameIt) {
    bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    main_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main_.get()));
    Settle();
    CDeviceProfileUI* profile = page->ProfileControl();
    ASSERT_NE(profile, nullptr);
    const QString name = profile->CurrentName();
    ASSERT_FALSE(name.isEmpty());

    int shownNames = 0;
    for (QLabel* label : profile->findChildren<QLabel*>()) {
        shownNames += label->isVisibleTo(main_.get()) && label->text() == name ? 1 : 0;
    }
    EXPECT_EQ(shownNames, 0) << "the combo box shows the name; no label repeats it";

    QComboBox* combo = profile->Combo();
    ASSERT_NE(combo, nullptr);
    QWidget* focus = QApplication::focusWidget();
    EXPECT_NE(focus, combo);
    EXPECT_NE(focus, combo->lineEdit());
    EXPECT_FALSE(combo->lineEdit()->hasSelectedText());
    if (focus) {
        QTest::keyClicks(focus, "zz");
    }
    Settle();
    EXPECT_EQ(combo->currentText(), name);
    EXPECT_EQ(profile->CurrentName(), name);
}

TEST_F(MousePageLookTest, TheBusyRingTurnsUntilRealFiguresArrive) {
    bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    auto* ring = page->Widget()->findChild<CCircleProgressUI*>("device_busy_progress");
    ASSERT_NE(ring, nullptr);

    page->SetBusy(true);
    EXPECT_TRUE(ring->IsIndeterminate());
    EXPECT_TRUE(ring->IsAnimating());
    const int start = ring->ArcStartDegrees();
    EXPECT_TRUE(PumpUntil([&] { return ring->ArcStartDegrees() != start; }, 2000ms));
    // Turning is not progress: no made-up figure appears.
    EXPECT_EQ(ring->GetValue(), 0);
    EXPECT_EQ(ring->SweepDegrees(), 0);

    // Out of sight it costs nothing.
    main_->hide();
    EXPECT_FALSE(ring->IsAnimating());
    main_->show();
    EXPECT_TRUE(ring->IsAnimating());

    page->ShowTransfer(3, 12);
    EXPECT_FALSE(ring->IsIndeterminate());
    EXPECT_FALSE(ring->IsAnimating());
    EXPECT_EQ(ring->GetValue(), 25);

    page->SetBusy(false);
    EXPECT_FALSE(ring->IsAnimating());
}

TEST_F(MousePageLookTest, TheScaleFollowsTheWindowsScreenAndItsResolution) {
    Start();
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2) << "the test program sets up two offscreen screens";
    QScreen* small = screens[0];
    QScreen* large = screens[1];
    ASSERT_EQ(large->geometry().size(), test::kLargeScreen);
    main_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    EXPECT_EQ(main_->Dpi(), 96);

    main_->windowHandle()->setScreen(large);
    EXPECT_TRUE(PumpUntil([&] { return main_->Dpi() == 144; }, 2000ms));
    EXPECT_TRUE(large->geometry().contains(main_->geometry().center()));

    // A new resolution of the window's screen is worked out again.
    main_->SetDpi(96);
    QMetaObject::invokeMethod(large, "geometryChanged", Q_ARG(QRect, large->geometry()));
    EXPECT_TRUE(PumpUntil([&] { return main_->Dpi() == 144; }, 2000ms));

    main_->windowHandle()->setScreen(small);
    EXPECT_TRUE(PumpUntil([&] { return main_->Dpi() == 96; }, 2000ms));
    // The screen it left no longer counts.
    main_->SetDpi(120);
    QMetaObject::invokeMethod(large, "geometryChanged", Q_ARG(QRect, large->geometry()));
    Settle();
    EXPECT_EQ(main_->Dpi(), 120);
}

TEST(AboutWindowTest, ASecondRequestWhileItIsOpenOpensNoSecondWindow) {
    CUiLoader::SetResourceRoot(kSkin);
    int opened = 0;
    CWindowBase::SetModalHook([&opened](CWindowBase& w) {
        if (w.objectName() == "AboutWnd" && ++opened == 1) {
            // The tray menu asks again while the first one is open.
            ShowAbout(nullptr, 96);
        }
        return 1;
    });
    ShowAbout(nullptr, 96);
    EXPECT_EQ(opened, 1);
    // Closed, it opens again.
    ShowAbout(nullptr, 96);
    EXPECT_EQ(opened, 2);
    CWindowBase::SetModalHook({});
}

}  // namespace
}  // namespace q417::ui
