// Which slot of the mouse's memory an edit lands in after the mouse switched its own profile, and
// what becomes of a write the mouse did not get.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "MouseDeviceFixture.h"
#include "transport/CommandResult.h"

namespace q417::test {
namespace {

int StoredX(const std::vector<uint8_t>& record, int stage) {
    const std::size_t at = 14 + 9 * static_cast<std::size_t>(stage) + 2;
    return record[at] | (record[at + 1] << 8);
}

using MouseRecordSlot = MouseDeviceFixture;

TEST_F(MouseRecordSlot, EditAfterTheMousesOwnProfileSwitchGoesToThatSlot) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(OpenNotifications());
    const std::vector<uint8_t> slot0 = Record(0);
    const std::vector<uint8_t> slot3Before = Record(3);

    // The user presses the profile button three times on the mouse itself.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(bus->PressButton(emuId, emu::kMouseProfileButton));
    }
    ASSERT_TRUE(Eventually([&] { return Run([&] { return device->RecordSlot(); }) == 3; }));
    EXPECT_EQ(Run([&] { return device->CurrentProfile(); }), 3);

    EXPECT_EQ(Run([&] { return device->EditStageDpi(0, 900); }), kResultOk);
    const std::vector<uint8_t> slot3 = Record(3);
    EXPECT_EQ(StoredX(slot3, 0), (900 - 50) / 50);
    EXPECT_EQ(slot3[0], slot3Before[0]) << "byte 0 is written as read";
    // Byte 0 of slot 0 is the mouse's current profile number; the rest is profile 0's record.
    const std::vector<uint8_t> slot0After = Record(0);
    EXPECT_TRUE(std::equal(slot0.begin() + 1, slot0.end(), slot0After.begin() + 1))
        << "profile 0's record was overwritten";
    EXPECT_EQ(bus->CurrentProfile(emuId), 3) << "the edit switched the mouse back";
}

// An edit that arrives before the first synchronisation (a script's command right after the
// cable is plugged) must not write a record built from a profile nothing was loaded into.
TEST_F(MouseRecordSlot, EditBeforeTheFirstSynchronisationKeepsTheMousesRecord) {
    ConnectCable();
    const std::vector<uint8_t> before = Record(0);
    EXPECT_EQ(Run([&] { return device->EditStageDpi(0, 900); }), kResultOk);
    const std::vector<uint8_t> after = Record(0);
    EXPECT_EQ(StoredX(after, 0), (900 - 50) / 50);
    for (int stage = 1; stage < 6; ++stage) {
        EXPECT_EQ(StoredX(after, stage), StoredX(before, stage)) << "stage " << stage;
    }
    EXPECT_EQ(after[0], before[0]);
}

TEST_F(MouseRecordSlot, StageButtonOnAnotherProfileIsReadBackFromItsSlot) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(OpenNotifications());
    // Slot 2 gets a stage value of its own, then the mouse goes there and steps its stage.
    const std::vector<uint8_t> dpi{0x0A, 0x00};
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 2 * 96 + 14 + 2, dpi));
    ASSERT_TRUE(bus->SwitchProfileOnDevice(emuId, 2));
    std::optional<uint16_t> code = bus->PressButton(emuId, emu::kMouseDpiButton);
    ASSERT_TRUE(code);
    const int stage = (*code >> 4) & 0x0F;
    ASSERT_TRUE(Eventually([&] {
        return Run([&] {
            return device->RecordSlot() == 2 && device->Profile().GetActiveDpiStage() == stage;
        });
    }));
    auto stages = Run([&] { return device->Profile().DpiStages(); });
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages[0].dpiX, 0x0A);
}

TEST_F(MouseRecordSlot, NotificationsNamingNoSuchProfileOrStageChangeNothingWrong) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(OpenNotifications());
    const int stageBefore = Run([&] { return device->Profile().GetActiveDpiStage(); });
    ASSERT_TRUE(bus->RaiseNotification(emuId, 0x100F));  // profile 15
    ASSERT_TRUE(bus->RaiseNotification(emuId, 0x1190));  // stage 9 of profile 0
    // The device reads the truth back: profile 0, the stage it had.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Run([&] { return device->CurrentProfile(); }), 0);
    EXPECT_EQ(Run([&] { return device->RecordSlot(); }), 0);
    EXPECT_EQ(Run([&] { return device->Profile().GetActiveDpiStage(); }), stageBefore);
    EXPECT_EQ(Run([&] { return device->EditStageDpi(0, 450); }), kResultOk);
    EXPECT_EQ(StoredX(Record(0), 0), (450 - 50) / 50);
    EXPECT_EQ(bus->CurrentProfile(emuId), 0);
}

TEST_F(MouseRecordSlot, HostProfileSwitchWritesSlotZeroAndTheMouseFollows) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(bus->SwitchProfileOnDevice(emuId, 4));
    Run([&] { return device->ReloadFromDevice(); });
    ASSERT_EQ(Run([&] { return device->RecordSlot(); }), 4);
    // A switch or reset writes the host profile into slot 0 (byte 0 = 0): the mouse goes there.
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 0, 0); }), kResultOk);
    EXPECT_EQ(bus->CurrentProfile(emuId), 0);
    EXPECT_EQ(Run([&] { return device->RecordSlot(); }), 0);
    EXPECT_EQ(Run([&] { return device->EditStageDpi(1, 1000); }), kResultOk);
    EXPECT_EQ(StoredX(Record(0), 1), (1000 - 50) / 50);
}

using MousePendingWrite = MouseDeviceFixture;

TEST_F(MousePendingWrite, AChangeTheMouseMissedGoesOutWhenItIsBackAndIsNotReadOver) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(bus->SetLink(emuId, false));
    EXPECT_EQ(Run([&] { return device->EditStageDpi(1, 1650); }), kResultNoReply);
    EXPECT_TRUE(Run([&] { return device->RecordPending(); }));
    EXPECT_TRUE(Run([&] { return device->MakeSnapshot().mouse->writePending; }));
    EXPECT_EQ(StoredX(Record(0), 1), (800 - 50) / 50);

    // A read while the mouse is away changes nothing; the edit stays in the profile.
    EXPECT_NE(Run([&] { return device->ReadProfileRecord(); }), kResultOk);
    EXPECT_EQ(Run([&] { return device->Profile().DpiStages()[1].dpiX; }), 32);

    ASSERT_TRUE(bus->SetLink(emuId, true));
    EXPECT_EQ(Run([&] { return device->CheckLink(); }), 1);
    EXPECT_EQ(StoredX(Record(0), 1), 32);
    EXPECT_FALSE(Run([&] { return device->RecordPending(); }));
    Run([&] { return device->Synchronise(); });
    EXPECT_EQ(Run([&] { return device->Profile().DpiStages()[1].dpiX; }), 32);
}

TEST_F(MousePendingWrite, SynchronisationWritesItFirstAndKeepsTheProfileTheMouseIsOn) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(bus->SetLink(emuId, false));
    EXPECT_NE(Run([&] { return device->EditStageDpi(2, 2000); }), kResultOk);
    // Meanwhile the mouse went to profile 5 by itself, unheard.
    ASSERT_TRUE(bus->SwitchProfileOnDevice(emuId, 5));
    ASSERT_TRUE(bus->SetLink(emuId, true));
    Run([&] { return device->Synchronise(); });
    const std::vector<uint8_t> slot0 = Record(0);
    EXPECT_EQ(StoredX(slot0, 2), (2000 - 50) / 50) << "the missed change was lost";
    EXPECT_EQ(slot0[0], 5) << "writing slot 0 moved the mouse off its profile";
    EXPECT_EQ(bus->CurrentProfile(emuId), 5);
    EXPECT_EQ(Run([&] { return device->RecordSlot(); }), 5);
}

TEST_F(MousePendingWrite, RenumberedMacrosAndKeysGoOutAtTheNextSynchronisation) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    ASSERT_TRUE(bus->SetLink(emuId, false));
    Run([&] {
        device->MarkKeysPending();
        return device->WriteKeysAndMacros();
    });
    EXPECT_TRUE(Run([&] { return device->KeysPending(); }));
    ASSERT_TRUE(bus->SetLink(emuId, true));
    bus->ClearCommandLog(emuId);
    Run([&] { return device->Synchronise(); });
    EXPECT_FALSE(Run([&] { return device->KeysPending(); }));
    bool keyTableWritten = false;
    for (const emu::CommandLogEntry& e : bus->TakeCommandLog(emuId)) {
        keyTableWritten = keyTableWritten || e.code == 0x09;
    }
    EXPECT_TRUE(keyTableWritten);
}

}  // namespace
}  // namespace q417::test
