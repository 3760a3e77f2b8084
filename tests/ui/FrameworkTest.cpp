// The window toolkit layer: notifications from user actions only, language texts, the display
// scale rule, layout names, and the UI thread's event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <atomic>
#include <chrono>
#include <thread>

#include "ui/UiTestUtil.h"
#include "ui/framework/CNotifyBridge.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/DpiScale.h"
#include "ui/framework/IndexedName.h"
#include "ui/framework/QtEventLoop.h"
#include "ui/framework/Silent.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {
namespace {

using namespace std::chrono_literals;

// A window that records what reaches it.
class RecordingHost : public QWidget, public INotifyUI {
public:
    void Notify(TNotifyUI& msg) override { seen.push_back(msg.sType + ":" + msg.SenderName()); }
    std::vector<QString> seen;
};

using test::PumpUntil;

TEST(DisplayScale, FollowsTheMonitorSize) {
    EXPECT_EQ(ScaleForScreen(1920, 1080), 144);
    EXPECT_EQ(ScaleForScreen(2560, 1440), 144);
    // Both sides must be above the limits.
    EXPECT_EQ(ScaleForScreen(1500, 1000), 96);
    EXPECT_EQ(ScaleForScreen(1366, 768), 96);
    EXPECT_EQ(ScaleForScreen(1920, 960), 96);
}

TEST(DisplayScale, OnlyKnownScalesAreTaken) {
    EXPECT_EQ(ValidDpi(144, "x"), 144);
    EXPECT_EQ(ValidDpi(48, "x"), 48);
    EXPECT_EQ(ValidDpi(100, "x"), 96);
    EXPECT_EQ(ValidDpi(0, "x"), 96);
}

TEST(DisplayScale, StyleSheetPixelsScaleAndHairlinesStay) {
    EXPECT_EQ(ScaleStyleSheet("a{font-size:12px;border:1px solid red;margin:0px}", 144),
              "a{font-size:18px;border:1px solid red;margin:0px}");
    EXPECT_EQ(ScaleStyleSheet("a{border:1px}", 48), "a{border:1px}");
}

TEST(DisplayScale, WidgetTreeScalesFromItsDesignValuesEveryTime) {
    QWidget root;
    auto* layout = new QVBoxLayout(&root);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(4);
    auto* button = new QPushButton(&root);
    button->setFixedSize(40, 20);
    layout->addWidget(button);
    QWidget free;
    auto* placed = new QLabel(&free);
    placed->setGeometry(10, 20, 30, 40);

    ApplyDpi(&root, 144);
    EXPECT_EQ(button->minimumSize(), QSize(60, 30));
    EXPECT_EQ(layout->contentsMargins().left(), 15);
    EXPECT_EQ(layout->spacing(), 6);
    // Going back starts again from the design values, not from the scaled ones.
    ApplyDpi(&root, 96);
    EXPECT_EQ(button->minimumSize(), QSize(40, 20));
    ApplyDpi(&free, 192);
    EXPECT_EQ(placed->geometry(), QRect(20, 40, 60, 80));
}

TEST(IndexedNames, SplitAtTheLastUnderscore) {
    EXPECT_EQ(SplitIndexedName("color_option_12").prefix, "color_option_");
    EXPECT_EQ(SplitIndexedName("color_option_12").index, 12);
    EXPECT_EQ(SplitIndexedName("DPI_edit_0").index, 0);
    EXPECT_EQ(SplitIndexedName("closebtn").index, -1);
    EXPECT_EQ(SplitIndexedName("key_Op_tab").index, -1);
    EXPECT_EQ(SplitIndexedName("key_+1").index, -1);
    EXPECT_EQ(SplitIndexedName("key_").index, -1);
}

TEST(NotifyBridge, UserActionsNotifyAndCodeStaysSilent) {
    RecordingHost host;
    auto* button = new QPushButton(&host);
    button->setObjectName("closebtn");
    auto* check = new QCheckBox(&host);
    check->setObjectName("DPI_enable_check_1");
    auto* combo = new QComboBox(&host);
    combo->setObjectName("Dormancy_combo_timeSelect");
    combo->addItems({"a", "b", "c"});
    auto* slider = new QSlider(Qt::Horizontal, &host);
    slider->setObjectName("DPI_slider_0");
    slider->setRange(0, 100);
    auto* edit = new QLineEdit(&host);
    edit->setObjectName("DPI_edit_0");
    CNotifyBridge::Attach(&host);
    CNotifyBridge::Attach(&host);  // attaching twice must not double the notifications

    SilentSetChecked(check, true);
    SilentSetCurrentIndex(combo, 2);
    SilentSetValue(slider, 50);
    SilentSetText(edit, "1600");
    EXPECT_TRUE(host.seen.empty());

    button->click();
    check->click();
    combo->setCurrentIndex(1);  // as the user's pick does
    slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    emit edit->textEdited("1");
    emit edit->returnPressed();
    const std::vector<QString> expected{
        "click:closebtn",
        "selectchanged:DPI_enable_check_1",
        "click:DPI_enable_check_1",
        "itemselect:Dormancy_combo_timeSelect",
        "valuechanged:DPI_slider_0",
        "textchanged:DPI_edit_0",
        "return:DPI_edit_0",
    };
    EXPECT_EQ(host.seen, expected);
}

TEST(NotifyBridge, SliderDragReportsMovesAndTheRelease) {
    RecordingHost host;
    auto* slider = new QSlider(Qt::Horizontal, &host);
    slider->setObjectName("DPI_slider_2");
    slider->setRange(0, 100);
    CNotifyBridge::Attach(&host);
    slider->setSliderDown(true);
    slider->setSliderPosition(30);  // emits sliderMoved while down
    slider->setSliderDown(false);   // emits sliderReleased
    ASSERT_GE(host.seen.size(), 2u);
    EXPECT_EQ(host.seen.front(), "movevaluechanged:DPI_slider_2");
    EXPECT_EQ(host.seen.back(), "valuechanged:DPI_slider_2");
    // The value change during the drag is not a "valuechanged" of its own.
    EXPECT_EQ(std::count(host.seen.begin(), host.seen.end(), "valuechanged:DPI_slider_2"), 1);
}

class SkinFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        CUiLoader::SetResourceRoot(dir_.path() + "/");
    }
    void TearDown() override { CUiLoader::SetResourceRoot(QString()); }
    void Write(const QString& name, const QByteArray& text) {
        QDir().mkpath(QFileInfo(dir_.path() + "/" + name).path());
        QFile f(dir_.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir_;
};

TEST_F(SkinFolder, LayoutNamesResolveThroughTheIndexAndNeverLeaveTheSkin) {
    Write("res.xml",
          "<Res><Layout id=\"XML_MAIN\" file=\"main.ui\"/>"
          "<Layout id=\"XML\\Device\\x.xml\" file=\"Device/x.ui\"/>"
          "<Layout id=\"EVIL\" file=\"../outside.ui\"/></Res>");
    Write("main.ui",
          "<ui version=\"4.0\"><widget class=\"QWidget\" name=\"root\">"
          "<widget class=\"QPushButton\" name=\"closebtn\"/></widget></ui>");
    Write("Device/x.ui", "<ui version=\"4.0\"><widget class=\"QWidget\" name=\"x\"/></ui>");
    EXPECT_TRUE(CUiLoader::ResolveLayout("XML_MAIN").endsWith("/main.ui"));
    EXPECT_TRUE(CUiLoader::ResolveLayout("xml/device/X.XML").endsWith("/Device/x.ui"));
    EXPECT_TRUE(CUiLoader::ResolveLayout("EVIL").isEmpty());
    EXPECT_TRUE(CUiLoader::ResolveLayout("../../etc/passwd").isEmpty());
    EXPECT_TRUE(CUiLoader::ResolveLayout("missing.ui").isEmpty());

    RecordingHost host;
    QWidget* root = CUiLoader::Build("XML_MAIN", &host);
    ASSERT_NE(root, nullptr);
    auto* close = root->findChild<QPushButton*>("closebtn");
    ASSERT_NE(close, nullptr);
    close->click();  // the loader attached the bridge
    EXPECT_EQ(host.seen, std::vector<QString>{"click:closebtn"});
    EXPECT_EQ(CUiLoader::Build("missing.ui", &host), nullptr);
}

TEST_F(SkinFolder, LanguageTextsApplyByKeyAndSurviveBadFiles) {
    Write("lan_a.xml",
          "<Language><Text id=\"t\">Hello</Text><Text id=\"tip\">Tip</Text>"
          "</Language>");
    Write("lan_b.xml", "<Language><Text id=\"t\">你好</Text></Language>");
    Write("lan_bad.xml", "<Language><Text id=\"t\">Broken</Language>");
    CResourceManager& text = CResourceManager::GetInstance();
    ASSERT_TRUE(text.LoadLanguage("lan_a.xml"));
    QWidget root;
    auto* label = new QLabel(&root);
    label->setProperty("textid", "t");
    label->setProperty("tooltipid", "tip");
    auto* edit = new QLineEdit(&root);
    edit->setProperty("textid", "missing_key");
    text.ReloadText(&root);
    EXPECT_EQ(label->text(), "Hello");
    EXPECT_EQ(label->toolTip(), "Tip");
    EXPECT_EQ(edit->placeholderText(), "missing_key");  // a missing text shows its key

    ASSERT_TRUE(text.LoadLanguage("lan_b.xml"));
    text.ReloadText(&root);
    EXPECT_EQ(label->text(), QString::fromUtf8("你好"));
    // A broken file or a name outside the skin leaves the texts as they were.
    EXPECT_FALSE(text.LoadLanguage("lan_bad.xml"));
    EXPECT_FALSE(text.LoadLanguage("../lan_a.xml"));
    EXPECT_FALSE(text.LoadLanguage("nope.xml"));
    EXPECT_EQ(text.Text("t"), QString::fromUtf8("你好"));
}

TEST(QtLoop, PostsRunInOrderAndWaitsComeBack) {
    QtEventLoop loop;
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        loop.Post([&order, i] { order.push_back(i); });
    }
    std::atomic<bool> waited{false};
    std::thread worker([&] {
        int value = 0;
        EXPECT_TRUE(loop.PostAndWait([&] { value = 42; }));
        EXPECT_EQ(value, 42);
        waited = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return waited.load(); }));
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    // On the loop's own thread a wait runs inline.
    bool inline_ = false;
    EXPECT_TRUE(loop.PostAndWait([&] { inline_ = true; }));
    EXPECT_TRUE(inline_);
}

TEST(QtLoop, TimersRestartCancelAndStopWithTheLoop) {
    QtEventLoop loop;
    const TimerKey a{7, 1001};
    const TimerKey b{7, 1005};
    int fired = 0;
    int firstCallback = 0;
    ASSERT_TRUE(loop.StartTimer(a, 5ms, [&] { ++firstCallback; }));
    ASSERT_TRUE(loop.StartTimer(a, 5ms, [&] { ++fired; }));  // replaces the first
    ASSERT_TRUE(loop.StartTimer(b, 5ms, [&] { ++fired; }));
    loop.CancelTimer(b);
    EXPECT_TRUE(loop.IsTimerActive(a));
    EXPECT_FALSE(loop.IsTimerActive(b));
    EXPECT_TRUE(PumpUntil([&] { return fired == 1; }));
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(firstCallback, 0);
    EXPECT_FALSE(loop.IsTimerActive(a));

    loop.Quit();
    EXPECT_FALSE(loop.StartTimer(a, 1ms, [&] { ++fired; }));
    EXPECT_FALSE(loop.Post([&] { ++fired; }));
    std::thread late([&] { EXPECT_FALSE(loop.PostAndWait([&] { ++fired; })); });
    late.join();
    EXPECT_EQ(fired, 1);
}

TEST(QtLoop, AWaiterThatGivesUpBeforeTheTaskStartsNeverRunsIt) {
    QtEventLoop loop;
    std::stop_source stop;
    bool ran = false;
    std::thread waiter(
        [&] { EXPECT_FALSE(loop.PostAndWait([&] { ran = true; }, stop.get_token())); });
    // The UI thread is busy elsewhere; the waiter is told to stop before the task got its turn.
    std::this_thread::sleep_for(20ms);
    stop.request_stop();
    waiter.join();
    PumpUntil([] { return false; }, 50ms);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace q417::ui
