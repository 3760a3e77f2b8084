// The device manager against a model of one physical mouse: random sequences of plugging and
// unplugging the cable and the receiver, the receiver's link, the mouse's own buttons, edits and
// profile switches, each followed by settling. After every step the mouse's entry is shown on a
// live connection exactly when one exists, the page shows what the mouse's memory holds, and no
// edit is lost or lands in another profile's slot.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#include "devices/CDeviceManager.h"
#include "devices/MouseDeviceFixture.h"
#include "emulator/EmuTestUtil.h"
#include "platform/ManualClockEventLoop.h"
#include "transport/CommandResult.h"

namespace q417::test {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kStepsPerSeed = 300;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
constexpr int kStepsPerSeed = 300;
#else
constexpr int kStepsPerSeed = 500;
#endif
#else
constexpr int kStepsPerSeed = 500;
#endif

constexpr int kSlots = 6;
constexpr int kStages = 6;
using Stages = std::array<int, kStages>;

// What the mouse's memory should hold.
struct MouseModel {
    std::array<Stages, kSlots> stored{};
    std::array<int, kSlots> active{};
    int current = 0;
};

// An edit the mouse did not get yet: where it goes when the mouse is next reached.
struct PendingEdit {
    int slot = 0;
    Stages stages{};
    int active = 0;
};

enum class Action {
    PlugCable,
    UnplugCable,
    PlugReceiver,
    UnplugReceiver,
    LinkOn,
    LinkOff,
    PressDpi,
    PressProfile,
    Edit,
    Switch
};

const char* Name(Action a) {
    static const char* names[] = {"plug cable", "unplug cable", "plug receiver", "unplug receiver",
                                  "link on",    "link off",     "press dpi",     "press profile",
                                  "edit",       "switch"};
    return names[static_cast<int>(a)];
}

class DeviceManagerModel : public MouseDeviceFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        MouseDeviceFixture::SetUp();
        DeviceManagerOptions options;
        options.backend = bus;
        options.pollInterval = 20ms;
        manager = std::make_unique<CDeviceManager>(loop, options);
        manager->Start();
        for (const SelectorEntry& e : manager->Entries()) {
            e.device->CommandChannel().SetPacing({0ms, 0ms});
        }
        live.store(manager.get());
        listener = bus->AddChangeListener([this] {
            if (CDeviceManager* m = live.load()) {
                m->Wake();
            }
        });
        for (int p = 0; p < kSlots; ++p) {
            std::vector<uint8_t> record = RecordOf(p);
            for (int s = 0; s < kStages; ++s) {
                model.stored[p][s] = StoredX(record, s);
            }
            model.active[p] = record[12];
        }
        model.current = bus->CurrentProfile(emuId).value_or(0);
    }

    void TearDown() override {
        bus->RemoveChangeListener(listener);
        live.store(nullptr);
        manager.reset();
        MouseDeviceFixture::TearDown();
    }

    static int StoredX(const std::vector<uint8_t>& record, int s) {
        const std::size_t at = 14 + 9 * static_cast<std::size_t>(s) + 2;
        return record[at] | (record[at + 1] << 8);
    }

    std::vector<uint8_t> RecordOf(int p) {
        std::vector<uint8_t> out;
        bus->WithFirmware<emu::MouseFirmware>(bus->MainMouse(), [&](emu::MouseFirmware& m) {
            auto mem = m.Memory();
            out.assign(mem.begin() + p * 96, mem.begin() + p * 96 + 80);
        });
        return out;
    }

    CTavrenixMouseDevice& Mouse() {
        return static_cast<CTavrenixMouseDevice&>(*manager->Entries()[0].device);
    }

    bool Reachable() const {
        return cable != emu::kNoDevice || (receiver != emu::kNoDevice && linkUp);
    }

    // Runs what the device threads and the detection worker handed to the loop.
    void Drain() {
        for (int round = 0; round < 2; ++round) {
            for (const SelectorEntry& e : manager->Entries()) {
                e.device->Call([] { return 0; });
            }
            loop.RunUntilIdle();
        }
    }

    // What is wrong with the state now, or empty when everything is as the model says.
    std::string Mismatch() {
        const bool reachable = Reachable();
        const SelectorEntry& entry = manager->Entries()[0];
        if (entry.visible != reachable) {
            return std::string("entry ") + (entry.visible ? "shown" : "hidden") +
                   " while the mouse is " + (reachable ? "reachable" : "out of reach");
        }
        if (!reachable) {
            return {};
        }
        struct View {
            bool open = false;
            bool wireless = false;
            std::string path;
            DeviceSnapshot snapshot;
        };
        std::optional<View> view = Mouse().Call([&] {
            View v;
            CReportChannel& ch = Mouse().CommandChannel();
            v.open = ch.IsOpen() != 0;
            v.wireless = Mouse().IsWireless();
            v.path = v.wireless ? ch.InterfaceB().Path() : ch.InterfaceA().Path();
            v.snapshot = Mouse().MakeSnapshot();
            return v;
        });
        if (!view || !view->open) {
            return "the command channel is closed";
        }
        const emu::DeviceId via = cable != emu::kNoDevice ? cable : receiver;
        if (view->wireless != (cable == emu::kNoDevice) ||
            view->path != emu::test::VendorPath(*bus, via)) {
            return "the device talks through " + view->path;
        }
        const MouseSnapshot& m = *view->snapshot.mouse;
        if (m.writePending) {
            return "a write is still pending";
        }
        if (m.currentProfile != model.current || m.recordSlot != model.current) {
            return "page on profile " + std::to_string(m.currentProfile) + " slot " +
                   std::to_string(m.recordSlot) + ", mouse on " + std::to_string(model.current);
        }
        if (m.activeStage != model.active[model.current]) {
            return "page stage " + std::to_string(m.activeStage);
        }
        for (int s = 0; s < kStages && s < static_cast<int>(m.stages.size()); ++s) {
            if (m.stages[s].dpiX != model.stored[model.current][s]) {
                return "page stage " + std::to_string(s) + " shows " +
                       std::to_string(m.stages[s].dpiX) + ", the model has " +
                       std::to_string(model.stored[model.current][s]) + " (slot " +
                       std::to_string(model.current) + ", memory: " + MemoryMismatch() + ")";
            }
        }
        return {};
    }

    // Moves virtual time on (the entry timers) until the state matches the model and stays so.
    std::string Settle() {
        std::string why;
        int stable = 0;
        const auto giveUp = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < giveUp) {
            Drain();
            why = Mismatch();
            if (why.empty()) {
                // Once more past the short timers (synchronisation 50 ms, power 50 ms).
                if (++stable >= 3) {
                    return {};
                }
            } else {
                stable = 0;
                std::this_thread::sleep_for(1ms);  // the detection worker and device timers
            }
            loop.Advance(100ms);
        }
        return why;
    }

    // The model's memory against the emulated mouse's, every slot.
    std::string MemoryMismatch() {
        int current = -1;
        bus->WithFirmware<emu::MouseFirmware>(
            bus->MainMouse(), [&](emu::MouseFirmware& m) { current = m.CurrentProfile(); });
        if (current != model.current) {
            return "the mouse is on profile " + std::to_string(current);
        }
        for (int p = 0; p < kSlots; ++p) {
            std::vector<uint8_t> record = RecordOf(p);
            for (int s = 0; s < kStages; ++s) {
                if (StoredX(record, s) != model.stored[p][s]) {
                    return "slot " + std::to_string(p) + " stage " + std::to_string(s) + " holds " +
                           std::to_string(StoredX(record, s)) + ", expected " +
                           std::to_string(model.stored[p][s]);
                }
            }
            if (record[12] != model.active[p]) {
                return "slot " + std::to_string(p) + " active stage " + std::to_string(record[12]);
            }
        }
        return {};
    }

    // What the mouse missed reaches it.
    void FlushIntoModel() {
        if (pending) {
            model.stored[pending->slot] = pending->stages;
            model.active[pending->slot] = pending->active;
            pending.reset();
        }
    }

    void Do(Action a, std::mt19937& rng) {
        const bool wasReachable = Reachable();
        switch (a) {
            case Action::PlugCable:
                cable = bus->Plug(emu::kWiredMouseProductId);
                break;
            case Action::UnplugCable:
                bus->Unplug(cable);
                cable = emu::kNoDevice;
                break;
            case Action::PlugReceiver:
                receiver = bus->PlugReceiver(emu::kReceiverProductId, linkUp);
                break;
            case Action::UnplugReceiver:
                bus->Unplug(receiver);
                receiver = emu::kNoDevice;
                break;
            case Action::LinkOn:
            case Action::LinkOff:
                linkUp = a == Action::LinkOn;
                if (receiver != emu::kNoDevice) {
                    bus->SetLink(receiver, linkUp);
                }
                break;
            case Action::PressDpi: {
                std::optional<uint16_t> code = bus->PressButton(bus->MainMouse(), "dpi");
                ASSERT_TRUE(code);
                model.active[model.current] = (*code >> 4) & 0x0F;
                break;
            }
            case Action::PressProfile: {
                std::optional<uint16_t> code = bus->PressButton(bus->MainMouse(), "profile");
                ASSERT_TRUE(code);
                model.current = *code & 0x0F;
                break;
            }
            case Action::Edit: {
                const int stage = std::uniform_int_distribution<int>(0, kStages - 1)(rng);
                const int dpi = 50 * std::uniform_int_distribution<int>(2, 400)(rng);
                const int stored = (dpi - 50) / 50;
                std::optional<int> result =
                    Mouse().Call([&] { return Mouse().EditStageDpi(stage, dpi); });
                ASSERT_TRUE(result);
                if (wasReachable) {
                    ASSERT_EQ(*result, kResultOk) << "an edit on a reachable mouse failed";
                    model.stored[shown][stage] = stored;
                } else {
                    ASSERT_NE(*result, kResultOk) << "an edit on an unreachable mouse succeeded";
                    // Before the mouse was ever read there is no record to send the edit with.
                    if (!everRead) {
                        break;
                    }
                    if (!pending) {
                        pending = PendingEdit{shown, model.stored[shown], shownActive};
                    }
                    pending->stages[stage] = stored;
                }
                break;
            }
            case Action::Switch: {
                std::atomic<bool> done{false};
                manager->SwitchProfile(0, 0, [&](ProfileApplyResult) { done = true; });
                const auto end = std::chrono::steady_clock::now() + 5s;
                while (!done && std::chrono::steady_clock::now() < end) {
                    loop.WaitAndRun(std::chrono::milliseconds(5));
                }
                ASSERT_TRUE(done);
                // The host profile goes to slot 0 and the mouse with it; it is learnt from there.
                std::vector<uint8_t> record = RecordOf(0);
                for (int s = 0; s < kStages; ++s) {
                    model.stored[0][s] = StoredX(record, s);
                }
                model.active[0] = record[12];
                model.current = 0;
                break;
            }
        }
    }

    // Plugging and the link only: several of these come faster than the events are handled.
    Action PickConnection(std::mt19937& rng) {
        const int r = std::uniform_int_distribution<int>(0, 2)(rng);
        if (r == 0)
            return cable == emu::kNoDevice ? Action::PlugCable : Action::UnplugCable;
        if (r == 1)
            return receiver == emu::kNoDevice ? Action::PlugReceiver : Action::UnplugReceiver;
        return linkUp ? Action::LinkOff : Action::LinkOn;
    }

    Action Pick(std::mt19937& rng) {
        // Weighted so that every kind of event comes often, in every state.
        const int r = std::uniform_int_distribution<int>(0, 99)(rng);
        if (r < 10)
            return cable == emu::kNoDevice ? Action::PlugCable : Action::UnplugCable;
        if (r < 20)
            return receiver == emu::kNoDevice ? Action::PlugReceiver : Action::UnplugReceiver;
        if (r < 30)
            return linkUp ? Action::LinkOff : Action::LinkOn;
        if (r < 42)
            return Action::PressDpi;
        if (r < 54)
            return Action::PressProfile;
        if (r < 90)
            return Action::Edit;
        return Reachable() ? Action::Switch : Action::Edit;
    }

    ManualClockEventLoop loop;
    std::unique_ptr<CDeviceManager> manager;
    std::atomic<CDeviceManager*> live{nullptr};
    int listener = -1;
    emu::DeviceId cable = emu::kNoDevice;
    emu::DeviceId receiver = emu::kNoDevice;
    bool linkUp = true;
    MouseModel model;
    std::optional<PendingEdit> pending;
    int shown = 0;        // the slot the page shows (the last one read while reachable)
    int shownActive = 0;  // and its active stage then
    bool everRead = false;
};

TEST_P(DeviceManagerModel, RandomSequencesKeepEntryPageAndMemoryInStep) {
    std::mt19937 rng(static_cast<std::mt19937::result_type>(GetParam()));
    std::ostringstream history;
    for (int step = 0; step < kStepsPerSeed; ++step) {
        // Now and then a burst: the detection worker sees each change (and changes its slot
        // list) while the events of the earlier ones still wait to be handled.
        const bool burst = std::uniform_int_distribution<int>(0, 99)(rng) < 25;
        const int count = burst ? std::uniform_int_distribution<int>(2, 3)(rng) : 1;
        Action a = Action::Edit;
        for (int i = 0; i < count; ++i) {
            a = burst ? PickConnection(rng) : Pick(rng);
            history << step << (burst ? "+ " : ": ") << Name(a) << "\n";
            Do(a, rng);
            ASSERT_FALSE(HasFatalFailure()) << history.str();
            if (i + 1 < count) {
                std::this_thread::sleep_for(30ms);
            }
        }
        // Within reach again: the device writes what it missed before it reads anything (a
        // reach that lasted only inside a burst was never handled as such).
        if (Reachable()) {
            FlushIntoModel();
        }
        const std::string why = Settle();
        ASSERT_EQ(why, "") << "after step " << step << " (" << Name(a) << ")\n" << history.str();
        if (Reachable()) {
            everRead = true;
            shown = model.current;
            shownActive = model.active[model.current];
            const std::string memory = MemoryMismatch();
            ASSERT_EQ(memory, "") << "after step " << step << " (" << Name(a) << ")\n"
                                  << history.str();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, DeviceManagerModel, ::testing::Values(1, 2, 3, 4));

}  // namespace
}  // namespace q417::test
