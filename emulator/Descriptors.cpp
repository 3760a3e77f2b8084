#include "emulator/Descriptors.h"

#include <array>

namespace q417::emu {
namespace {

// Item prefixes used below: 0x05/0x06 Usage Page, 0x09/0x0A Usage, 0x19/0x1A Usage Minimum,
// 0x29/0x2A Usage Maximum, 0x15/0x16 Logical Minimum, 0x25/0x26 Logical Maximum, 0x75 Report
// Size, 0x95 Report Count, 0x85 Report ID, 0x81 Input, 0x91 Output, 0xB1 Feature,
// 0xA1 Collection, 0xC0 End Collection.

// Interface 0 of the wired mouse (and of receiver 0x7103, which carries the same firmware).
constexpr uint8_t kMouseInterface0[] = {
    // col01: mouse, report 1 (5 buttons, 16-bit X/Y, wheel, AC Pan)
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x02,        // Usage (Mouse)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x09, 0x01,        //   Usage (Pointer)
    0xA1, 0x00,        //   Collection (Physical)
    0x05, 0x09,        //     Usage Page (Button)
    0x19, 0x01,        //     Usage Minimum (1)
    0x29, 0x05,        //     Usage Maximum (5)
    0x15, 0x00,        //     Logical Minimum (0)
    0x25, 0x01,        //     Logical Maximum (1)
    0x95, 0x05,        //     Report Count (5)
    0x75, 0x01,        //     Report Size (1)
    0x81, 0x02,        //     Input (Data,Var,Abs)
    0x95, 0x01,        //     Report Count (1)
    0x75, 0x03,        //     Report Size (3)
    0x81, 0x01,        //     Input (Const)
    0x05, 0x01,        //     Usage Page (Generic Desktop)
    0x09, 0x30,        //     Usage (X)
    0x09, 0x31,        //     Usage (Y)
    0x16, 0x01, 0x80,  //     Logical Minimum (-32767)
    0x26, 0xFF, 0x7F,  //     Logical Maximum (32767)
    0x75, 0x10,        //     Report Size (16)
    0x95, 0x02,        //     Report Count (2)
    0x81, 0x06,        //     Input (Data,Var,Rel)
    0x09, 0x38,        //     Usage (Wheel)
    0x15, 0x81,        //     Logical Minimum (-127)
    0x25, 0x7F,        //     Logical Maximum (127)
    0x75, 0x08,        //     Report Size (8)
    0x95, 0x01,        //     Report Count (1)
    0x81, 0x06,        //     Input (Data,Var,Rel)
    0x05, 0x0C,        //     Usage Page (Consumer)
    0x0A, 0x38, 0x02,  //     Usage (AC Pan)
    0x95, 0x01,        //     Report Count (1)
    0x81, 0x06,        //     Input (Data,Var,Rel)
    0xC0,              //   End Collection
    0xC0,              // End Collection
    // col02: keyboard, report 2 (modifiers, reserved byte, 6-key array; LED output)
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x01,        //   Input (Const)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x19, 0x01,        //   Usage Minimum (Num Lock)
    0x29, 0x05,        //   Usage Maximum (Kana)
    0x95, 0x05,        //   Report Count (5)
    0x75, 0x01,        //   Report Size (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x03,        //   Report Size (3)
    0x91, 0x01,        //   Output (Const)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x00,  //   Usage Maximum (255)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x95, 0x06,        //   Report Count (6)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
    // col03: system control, report 3 (power down, sleep, wake up)
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x80,  // Usage (System Control)
    0xA1, 0x01,  // Collection (Application)
    0x85, 0x03,  //   Report ID (3)
    0x19, 0x81,  //   Usage Minimum (System Power Down)
    0x29, 0x83,  //   Usage Maximum (System Wake Up)
    0x15, 0x01,  //   Logical Minimum (1)
    0x25, 0x03,  //   Logical Maximum (3)
    0x75, 0x02,  //   Report Size (2)
    0x95, 0x01,  //   Report Count (1)
    0x81, 0x00,  //   Input (Data,Array,Abs)
    0x75, 0x06,  //   Report Size (6)
    0x81, 0x01,  //   Input (Const)
    0xC0,        // End Collection
    // col04: consumer control, report 5; one 16-bit usage covering the notification codes
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x05,        //   Report ID (5)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x11,  //   Usage Maximum (0x11FF)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x11,  //   Logical Maximum (0x11FF)
    0x75, 0x10,        //   Report Size (16)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
    // col05: vendor command collection, report 4: 63 data bytes each way
    0x06, 0x1C, 0xFF,  // Usage Page (Vendor 0xFF1C)
    0x09, 0x92,        // Usage (0x92)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x04,        //   Report ID (4)
    0x09, 0x01,        //   Usage (0x01)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x3F,        //   Report Count (63)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x09, 0x02,        //   Usage (0x02)
    0x95, 0x3F,        //   Report Count (63)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0xC0,              // End Collection
};

// Interface 1 of the wired mouse: a boot keyboard with unnumbered reports (macro key output).
constexpr uint8_t kMouseInterface1[] = {
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x01,        //   Input (Const)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x19, 0x01,        //   Usage Minimum (Num Lock)
    0x29, 0x05,        //   Usage Maximum (Kana)
    0x95, 0x05,        //   Report Count (5)
    0x75, 0x01,        //   Report Size (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x03,        //   Report Size (3)
    0x91, 0x01,        //   Output (Const)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x00,  //   Usage Maximum (255)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x95, 0x06,        //   Report Count (6)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
};

// Interface 0 of receiver 0x7102: mouse, keyboard, system control, the pairing collection and
// the vendor command collection.
constexpr uint8_t kReceiverInterface0[] = {
    // col01: mouse, report 1
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x02,        // Usage (Mouse)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x09, 0x01,        //   Usage (Pointer)
    0xA1, 0x00,        //   Collection (Physical)
    0x05, 0x09,        //     Usage Page (Button)
    0x19, 0x01,        //     Usage Minimum (1)
    0x29, 0x05,        //     Usage Maximum (5)
    0x15, 0x00,        //     Logical Minimum (0)
    0x25, 0x01,        //     Logical Maximum (1)
    0x95, 0x05,        //     Report Count (5)
    0x75, 0x01,        //     Report Size (1)
    0x81, 0x02,        //     Input (Data,Var,Abs)
    0x95, 0x01,        //     Report Count (1)
    0x75, 0x03,        //     Report Size (3)
    0x81, 0x01,        //     Input (Const)
    0x05, 0x01,        //     Usage Page (Generic Desktop)
    0x09, 0x30,        //     Usage (X)
    0x09, 0x31,        //     Usage (Y)
    0x16, 0x01, 0x80,  //     Logical Minimum (-32767)
    0x26, 0xFF, 0x7F,  //     Logical Maximum (32767)
    0x75, 0x10,        //     Report Size (16)
    0x95, 0x02,        //     Report Count (2)
    0x81, 0x06,        //     Input (Data,Var,Rel)
    0x09, 0x38,        //     Usage (Wheel)
    0x15, 0x81,        //     Logical Minimum (-127)
    0x25, 0x7F,        //     Logical Maximum (127)
    0x75, 0x08,        //     Report Size (8)
    0x95, 0x01,        //     Report Count (1)
    0x81, 0x06,        //     Input (Data,Var,Rel)
    0xC0,              //   End Collection
    0xC0,              // End Collection
    // col02: keyboard, report 2
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x01,        //   Input (Const)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x00,  //   Usage Maximum (255)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x95, 0x06,        //   Report Count (6)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
    // col03: system control, report 3
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x80,  // Usage (System Control)
    0xA1, 0x01,  // Collection (Application)
    0x85, 0x03,  //   Report ID (3)
    0x19, 0x81,  //   Usage Minimum (System Power Down)
    0x29, 0x83,  //   Usage Maximum (System Wake Up)
    0x15, 0x01,  //   Logical Minimum (1)
    0x25, 0x03,  //   Logical Maximum (3)
    0x75, 0x02,  //   Report Size (2)
    0x95, 0x01,  //   Report Count (1)
    0x81, 0x00,  //   Input (Data,Array,Abs)
    0x75, 0x06,  //   Report Size (6)
    0x81, 0x01,  //   Input (Const)
    0xC0,        // End Collection
    // col04: pairing collection, report 6 (feature only: pairing state of the radio)
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (0x01)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x06,        //   Report ID (6)
    0x09, 0x03,        //   Usage (0x03)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x07,        //   Report Count (7)
    0xB1, 0x02,        //   Feature (Data,Var,Abs)
    0xC0,              // End Collection
    // col05: vendor command collection, report 4
    0x06, 0x1C, 0xFF,  // Usage Page (Vendor 0xFF1C)
    0x09, 0x92,        // Usage (0x92)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x04,        //   Report ID (4)
    0x09, 0x01,        //   Usage (0x01)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x3F,        //   Report Count (63)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x09, 0x02,        //   Usage (0x02)
    0x95, 0x3F,        //   Report Count (63)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0xC0,              // End Collection
};

// Interface 1 of receiver 0x7102: keyboard, system control, consumer control at col03.
constexpr uint8_t kReceiverInterface1[] = {
    // col01: keyboard, report 1 (modifiers and a 6-key array, LED output)
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x06,        // Usage (Keyboard)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,        //   Usage Minimum (Left Control)
    0x29, 0xE7,        //   Usage Maximum (Right GUI)
    0x15, 0x00,        //   Logical Minimum (0)
    0x25, 0x01,        //   Logical Maximum (1)
    0x75, 0x01,        //   Report Size (1)
    0x95, 0x08,        //   Report Count (8)
    0x81, 0x02,        //   Input (Data,Var,Abs)
    0x05, 0x08,        //   Usage Page (LEDs)
    0x19, 0x01,        //   Usage Minimum (Num Lock)
    0x29, 0x05,        //   Usage Maximum (Kana)
    0x95, 0x05,        //   Report Count (5)
    0x75, 0x01,        //   Report Size (1)
    0x91, 0x02,        //   Output (Data,Var,Abs)
    0x95, 0x01,        //   Report Count (1)
    0x75, 0x03,        //   Report Size (3)
    0x91, 0x01,        //   Output (Const)
    0x05, 0x07,        //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x00,  //   Usage Maximum (255)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x95, 0x06,        //   Report Count (6)
    0x75, 0x08,        //   Report Size (8)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
    // col02: system control, report 2
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x80,  // Usage (System Control)
    0xA1, 0x01,  // Collection (Application)
    0x85, 0x02,  //   Report ID (2)
    0x19, 0x81,  //   Usage Minimum (System Power Down)
    0x29, 0x83,  //   Usage Maximum (System Wake Up)
    0x15, 0x01,  //   Logical Minimum (1)
    0x25, 0x03,  //   Logical Maximum (3)
    0x75, 0x02,  //   Report Size (2)
    0x95, 0x01,  //   Report Count (1)
    0x81, 0x00,  //   Input (Data,Array,Abs)
    0x75, 0x06,  //   Report Size (6)
    0x81, 0x01,  //   Input (Const)
    0xC0,        // End Collection
    // col03: consumer control, report 3; one 16-bit usage covering the notification codes
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x03,        //   Report ID (3)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0xFF, 0x11,  //   Usage Maximum (0x11FF)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x11,  //   Logical Maximum (0x11FF)
    0x75, 0x10,        //   Report Size (16)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data,Array,Abs)
    0xC0,              // End Collection
};

constexpr CollectionLayout kMouseCol(uint8_t id, uint16_t inputBytes) {
    return {CollectionRole::Other, 0x0001, 0x0002, id, inputBytes, 0, 0};
}
constexpr CollectionLayout kKeyboardCol(uint8_t id, uint16_t inputBytes, bool leds) {
    return {CollectionRole::Other, 0x0001, 0x0006, id, inputBytes, id, uint16_t(leds ? 2 : 0)};
}
constexpr CollectionLayout kSystemCol(uint8_t id) {
    return {CollectionRole::Other, 0x0001, 0x0080, id, 2, 0, 0};
}
constexpr CollectionLayout kConsumerCol(uint8_t id) {
    return {CollectionRole::Notification, 0x000C, 0x0001, id, 3, 0, 0};
}
constexpr CollectionLayout kVendorCol = {
    CollectionRole::Command, 0xFF1C, 0x0092, kVendorReportId, kVendorReportBytes, kVendorReportId,
    kVendorReportBytes};
constexpr CollectionLayout kPairingCol = {CollectionRole::Other, 0xFF00, 0x0001, 0, 0, 0, 0};

constexpr std::array kMouseInterface0Cols = {kMouseCol(1, 8), kKeyboardCol(2, 9, true),
                                             kSystemCol(3), kConsumerCol(5), kVendorCol};
constexpr std::array kMouseInterface1Cols = {kKeyboardCol(0, 9, true)};
constexpr std::array kReceiverInterface0Cols = {kMouseCol(1, 7), kKeyboardCol(2, 9, false),
                                                kSystemCol(3), kPairingCol, kVendorCol};
constexpr std::array kReceiverInterface1Cols = {kKeyboardCol(1, 8, true), kSystemCol(2),
                                                kConsumerCol(3)};

constexpr std::array kWiredInterfaces = {
    InterfaceLayout{0, kMouseInterface0, kMouseInterface0Cols},
    InterfaceLayout{1, kMouseInterface1, kMouseInterface1Cols},
};
constexpr std::array kReceiver7102Interfaces = {
    InterfaceLayout{0, kReceiverInterface0, kReceiverInterface0Cols},
    InterfaceLayout{1, kReceiverInterface1, kReceiverInterface1Cols},
};
constexpr std::array kReceiver7103Interfaces = {
    InterfaceLayout{0, kMouseInterface0, kMouseInterface0Cols},
};

}  // namespace

const DeviceLayout& WiredMouseLayout() {
    static const DeviceLayout layout{0x4A1D, 0x7101, 0x0107, kWiredInterfaces};
    return layout;
}

const DeviceLayout& Receiver7102Layout() {
    static const DeviceLayout layout{0x4A1D, 0x7102, 0x0203, kReceiver7102Interfaces};
    return layout;
}

const DeviceLayout& Receiver7103Layout() {
    static const DeviceLayout layout{0x4A1D, 0x7103, 0x0203, kReceiver7103Interfaces};
    return layout;
}

}  // namespace q417::emu
