// How long the UI thread of the desktop application stalls while the devices work. The window
// runs its event loop on the demo devices (offscreen, scratch data home; the wired mouse is
// unplugged so the receiver's mouse is the one shown) with a 1 ms precise timer on the UI thread;
// the largest gap between two of its callbacks is the longest the window could not answer. The
// receiver mouse's page is shown and three operations are started the way the user starts them in
// the window:
//
//   profile_switch   a pick in the profile list (a switch, and its repeat 400 ms later)
//   macro_write      a pick of the profile whose key uses a full macro block (8 KB, all the
//                    emulated macro memory holds): the block goes out through the receiver at
//                    20 ms per frame, twice (the pick's repeat)
//   device_reset     the reset button, confirmed (template, record, macros, key table)
//
// For each phase and overall it prints the worst gap (goal <= 16 ms, one frame at 60 Hz), the
// time the UI thread spent in event handlers during that gap, and the longest of them (receiver
// class, object name, event type; a posted task is a device result, snapshot or manager timer
// arriving on the UI loop). An idle phase first shows the machine's own noise.
// Usage: ui_stall
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UiBenchFolders.h"
#include "app/Startup.h"
#include "devices/CTavrenixMouseDevice.h"
#include "emulator/EmulatedHidBus.h"
#include "input/KeyTables.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "profiles/CProfileList.h"
#include "transport/Commands.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/demo/CEmulatorWnd.h"
#include "ui/framework/CWindowBase.h"
#include "ui/main/CMainWnd.h"
#include "ui/main/CMousePage.h"

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

std::string Describe(const char* className, const QString& objectName, int type) {
    std::string name = className;
    if (!objectName.isEmpty()) {
        name += " \"" + objectName.toStdString() + "\"";
    }
    if (type == QEvent::MetaCall && name == "QObject") {
        name = "posted task (device result, snapshot or manager timer)";
    }
    const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return name + ", " + (typeName != nullptr ? typeName : std::to_string(type));
}

// Times every outermost event delivery, so a gap can be blamed on the handler that filled it.
class ProbeApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_ > 0) {
            return QApplication::notify(receiver, event);
        }
        // Taken before delivery: the receiver may be gone after its event.
        const char* className = receiver->metaObject()->className();
        const QString objectName = receiver->objectName();
        const int type = event->type();
        ++depth_;
        const auto start = Clock::now();
        const bool result = QApplication::notify(receiver, event);
        const Clock::duration took = Clock::now() - start;
        --depth_;
        handled_ += took;
        if (took > longest_) {
            longest_ = took;
            longestWhat_ = Describe(className, objectName, type);
        }
        return result;
    }

    struct Deliveries {
        Clock::duration total{};    // time spent in event handlers
        Clock::duration longest{};  // the longest of them
        std::string what;
    };
    // The deliveries since the last call.
    Deliveries Take() {
        Deliveries taken{handled_, longest_, longestWhat_};
        handled_ = {};
        longest_ = {};
        longestWhat_.clear();
        return taken;
    }

private:
    int depth_ = 0;
    Clock::duration handled_{};
    Clock::duration longest_{};
    std::string longestWhat_;
};

struct Phase {
    std::string name;
    Clock::duration worst{};
    std::string what;
    long ticks = 0;
};

class StallProbe {
public:
    explicit StallProbe(ProbeApplication& app) : app_(app) {
        tick_.setTimerType(Qt::PreciseTimer);
        tick_.setInterval(1);
        QObject::connect(&tick_, &QTimer::timeout, [this] { OnTick(); });
    }

    void Begin(std::string name) {
        Phase phase;
        phase.name = std::move(name);
        phases_.push_back(std::move(phase));
        last_ = Clock::now();
        app_.Take();
        tick_.start();
    }
    void End() { tick_.stop(); }
    const std::vector<Phase>& Phases() const { return phases_; }

private:
    void OnTick() {
        const auto now = Clock::now();
        const Clock::duration gap = now - last_;
        last_ = now;
        const ProbeApplication::Deliveries d = app_.Take();
        Phase& p = phases_.back();
        ++p.ticks;
        if (gap > p.worst) {
            p.worst = gap;
            // Handler time well below the gap means the thread was not scheduled (a busy
            // machine), not that the window was working.
            char line[160];
            std::snprintf(line, sizeof line,
                          "handlers %.1f ms of it, longest %.1f ms: ", Millis(d.total).count(),
                          Millis(d.longest).count());
            p.what = line + (d.what.empty() ? std::string("none") : d.what);
        }
    }

    ProbeApplication& app_;
    QTimer tick_;
    Clock::time_point last_;
    std::vector<Phase> phases_;
};

// Runs the window's loop until done() holds or the bound passes.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    const auto until = Clock::now() + bound;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || Clock::now() > until) {
            loop.quit();
        }
    });
    check.start();
    if (!done()) {
        loop.exec();
    }
    return done();
}

void RunFor(std::chrono::milliseconds time) {
    RunUntil([] { return false; }, time);
}

// The page is idle: not busy, and stayed so longer than the pick's repeat delay.
bool RunUntilIdle(q417::ui::CMousePage& page, std::chrono::milliseconds bound) {
    auto lastBusy = Clock::now();
    return RunUntil(
        [&] {
            if (page.Busy()) {
                lastBusy = Clock::now();
                return false;
            }
            return Clock::now() - lastBusy > std::chrono::milliseconds(700);
        },
        bound);
}

std::size_t FramesOf(q417::emu::EmulatedHidBus& bus, q417::emu::DeviceId id, uint8_t code) {
    const auto log = bus.CommandLog(id);
    return static_cast<std::size_t>(
        std::count_if(log.begin(), log.end(),
                      [code](const q417::emu::CommandLogEntry& e) { return e.code == code; }));
}

int Fail(const char* why) {
    std::fprintf(stderr, "ui_stall: %s\n", why);
    return 1;
}

}  // namespace

int main(int /*argc*/, char** argv) {
    q417::bench::UiBenchFolders folders;

    int qtArgc = 1;
    ProbeApplication app(qtArgc, argv);
    QApplication::setApplicationName("q417");
    QApplication::setQuitOnLastWindowClosed(false);
    // The reset's question is answered "yes" at once, as the user would.
    q417::ui::CWindowBase::SetModalHook([](q417::ui::CWindowBase&) { return 1; });

    q417::ui::AppOptions options;
    options.demo = true;
    options.singleInstance = false;
    q417::ui::CApplicationShell shell(options);
    if (shell.Start() != q417::ui::CApplicationShell::StartResult::Running) {
        return Fail("the application did not start");
    }
    q417::ui::CMainWnd* main = shell.MainWindow();
    if (shell.EmulatorWindow() != nullptr) {
        shell.EmulatorWindow()->hide();
    }
    std::shared_ptr<q417::emu::EmulatedHidBus> bus = shell.DemoBus();
    // While the cable is in, the window shows the wired mouse; the receiver is what is measured.
    q417::emu::DeviceId receiver = q417::emu::kNoDevice;
    for (q417::emu::DeviceId id : bus->Devices()) {
        if (bus->ProductOf(id) == q417::emu::kReceiverProductId) {
            receiver = id;
        } else if (bus->ProductOf(id) == q417::emu::kWiredMouseProductId) {
            bus->Unplug(id);
        }
    }

    // The receiver mouse's entry, synchronised and shown.
    int entry = -1;
    RunUntil(
        [&] {
            const auto& entries = main->Manager().Entries();
            for (std::size_t e = 0; e < entries.size(); ++e) {
                if (entries[e].device && entries[e].device->IsWireless() &&
                    main->EntrySynchronised(static_cast<int>(e))) {
                    entry = static_cast<int>(e);
                }
            }
            return entry >= 0;
        },
        std::chrono::seconds(10));
    if (entry < 0 || receiver == q417::emu::kNoDevice) {
        return Fail("the receiver mouse was not synchronised within 10 s");
    }
    main->ShowEntryPage(entry);
    auto mouse = std::dynamic_pointer_cast<q417::CTavrenixMouseDevice>(
        main->Manager().Entries()[static_cast<std::size_t>(entry)].device);
    q417::ui::CMousePage* page = main->MousePage(entry);
    q417::ui::CDeviceProfileUI* profiles = main->ProfileControl(entry);
    if (!mouse || page == nullptr || profiles == nullptr || profiles->List() == nullptr) {
        return Fail("the receiver mouse has no page or profile list");
    }
    RunFor(std::chrono::milliseconds(1000));

    // A second profile, and a full macro on button 3 of the profile the mouse uses now.
    if (profiles->AddProfile() != q417::ProfileListResult::Done) {
        return Fail("no second profile");
    }
    main->ReloadAllProfileControls();
    std::vector<q417::MacroEvent> events;
    for (uint16_t i = 0; i < 2040; ++i) {
        events.push_back({i % 2 == 0, 10, 4, i});
    }
    const std::optional<std::string> macroProfile = mouse->Call([&]() -> std::string {
        q417::CMacroLibrary& library = mouse->Macros();
        if (library.AddMacro() != q417::MacroResult::Done ||
            library.SaveMacro(library.Count() - 1, std::span<const q417::MacroEvent>(events)) !=
                q417::MacroResult::Done) {
            return {};
        }
        q417::KeyAssignmentEntry key = mouse->KeyEntries().at(3);
        key.current.type = q417::keytype::kMacro;
        key.current.param1 = static_cast<uint8_t>(library.Count() - 1);
        key.current.param2 = 0;
        return mouse->StoreKeyAssignment(3, key) ? mouse->ProfileId() : std::string();
    });
    if (!macroProfile || macroProfile->empty()) {
        return Fail("the macro could not be stored");
    }
    const int macroIndex = profiles->List()->IndexOfId(*macroProfile);
    const int otherIndex = macroIndex == 0 ? 1 : 0;

    StallProbe probe(app);
    probe.Begin("idle");
    RunFor(std::chrono::milliseconds(2000));
    probe.End();

    probe.Begin("profile_switch");
    profiles->Combo()->setCurrentIndex(otherIndex);
    const bool switched = RunUntilIdle(*page, std::chrono::seconds(20));
    probe.End();

    const std::size_t macroFramesBefore = FramesOf(*bus, receiver, q417::kCmdWriteMacros);
    probe.Begin("macro_write");
    profiles->Combo()->setCurrentIndex(macroIndex);
    const bool wrote = RunUntilIdle(*page, std::chrono::seconds(60));
    probe.End();
    const std::size_t macroFrames =
        FramesOf(*bus, receiver, q417::kCmdWriteMacros) - macroFramesBefore;

    probe.Begin("device_reset");
    if (auto* reset = profiles->findChild<QAbstractButton*>("device_reset_btn")) {
        reset->click();
    }
    const bool reset = RunUntilIdle(*page, std::chrono::seconds(30));
    probe.End();

    Clock::duration overall{};
    std::string overallWhat;
    for (const Phase& p : probe.Phases()) {
        std::printf("%-16s worst gap %7.1f ms  (%ld ticks)  at: %s\n", p.name.c_str(),
                    Millis(p.worst).count(), p.ticks, p.what.c_str());
        if (p.name != "idle" && p.worst > overall) {
            overall = p.worst;
            overallWhat = p.name + ": " + p.what;
        }
    }
    std::printf("%-16s worst gap %7.1f ms  (goal <= 16)  at %s\n", "overall",
                Millis(overall).count(), overallWhat.c_str());
    std::printf("macro frames sent through the receiver: %zu (two block writes of 341)\n",
                macroFrames);
    if (!switched || !wrote || !reset) {
        std::fprintf(stderr, "ui_stall: a phase did not finish within its bound\n");
    }
    std::fflush(stdout);
    shell.ShutDown();
    return 0;
}
