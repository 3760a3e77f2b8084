#pragma once
// The identification table (which interfaces belong to supported devices) and the slot list the
// device manager keeps as its working copy. The detection worker and the UI thread share one slot
// list, so every operation on it is guarded by its own mutex.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "transport/DeviceIdentity.h"

namespace q417 {

inline constexpr std::size_t kBuiltInRowCount = 12;
// Appended rows are for a handful of extra devices; this bounds what a data file can add.
inline constexpr std::size_t kMaxAppendedRows = 256;
inline constexpr std::size_t kMaxIdentificationFileBytes = 256u * 1024u;

// The twelve built-in rows, in table order. They never change.
const std::array<DeviceIdentity, kBuiltInRowCount>& BuiltInIdentificationRows();

// Parses an identification-rows document (format in docs/identification-rows.md). Rows are
// validated as if appended after existingRowCount rows (partner indices may name any of those or
// of the new rows). On any error returns false, leaves rows untouched and says why in error.
bool ParseIdentificationRows(std::string_view json, std::size_t existingRowCount,
                             std::vector<DeviceIdentity>& rows, std::string* error);
// Checks one row for appending at index rowIndex of a table that will hold tableSize rows.
bool ValidateIdentificationRow(const DeviceIdentity& row, std::size_t rowIndex,
                               std::size_t tableSize, std::string* error);

class CInterfaceSlotList {
public:
    // A copy of the built-in table, every slot free.
    CInterfaceSlotList();
    CInterfaceSlotList(const CInterfaceSlotList&) = delete;
    CInterfaceSlotList& operator=(const CInterfaceSlotList&) = delete;

    // Appends validated rows (each also becomes a free slot). All or nothing.
    bool AppendRows(std::span<const DeviceIdentity> rows, std::string* error);
    // Reads and appends the rows of a data file. All or nothing; error names the file and fault.
    bool AppendRowsFromFile(const std::string& file, std::string* error);

    std::size_t Size() const;
    // The table row behind slot index (connected 0, empty path); nullopt when out of range.
    std::optional<DeviceIdentity> Row(std::size_t index) const;
    // The slot's current state (connected, path); nullopt when out of range.
    std::optional<DeviceIdentity> Slot(std::size_t index) const;
    std::vector<DeviceIdentity> Slots() const;

    // First stage: probe carries vendor, product, interface and collection from the path. True when
    // a table row has those four values and a free slot with the same four values exists.
    bool MatchPath(const DeviceIdentity& probe) const;
    // Second stage: probe carries the attributes' vendor/product, the path's interface/collection,
    // the caps' usage page/usage and the path. Takes the first free slot equal in the six values,
    // fills probe.kind/role from the first equal table row and returns the slot in slotIndex.
    // Rows with vendor and product 0 are placeholders and never match here.
    bool MatchOpened(DeviceIdentity& probe, std::size_t* slotIndex);
    // True when a table row equals probe in the six values (placeholder rows excluded): whether
    // a refusal by MatchOpened can change later, when a slot is freed.
    bool HasRowFor(const DeviceIdentity& probe) const { return RowFor(probe) >= 0; }
    // The first such row's index, or -1.
    int RowFor(const DeviceIdentity& probe) const;
    // True when some slot is free (connected 0 and empty path).
    bool AnySlotFree() const;
    // First table row with these four values, or -1.
    int FindRow(uint16_t vendorId, uint16_t productId, uint16_t kind, uint16_t role) const;
    // The slot occupied by path, or -1.
    int FindSlotByPath(std::string_view path) const;
    // Returns the slot to free (connected 0, empty path). False when out of range.
    bool Release(std::size_t index);

private:
    static bool SameFour(const DeviceIdentity& a, const DeviceIdentity& b);
    static bool SameSix(const DeviceIdentity& a, const DeviceIdentity& b);
    static bool IsFree(const DeviceIdentity& slot);

    mutable std::mutex mutex_;
    std::vector<DeviceIdentity> rows_;   // built-in rows then appended rows; never edited
    std::vector<DeviceIdentity> slots_;  // same order, with connected/path
};

// Paths that passed the first stage but failed the second, remembered per device instance so a
// detection pass does not reopen them every 100 ms. An entry lasts while its instance is present.
class CRejectedInterfaces {
public:
    bool Contains(std::string_view path) const;
    void Remember(std::string_view path);
    // Forgets every entry whose device instance is no longer among presentPaths.
    void ForgetAbsent(std::span<const std::string> presentPaths);
    std::size_t Size() const;
    void Clear();

private:
    static std::string InstanceKey(std::string_view path);
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::string>> entries_;  // (instance, path)
};

}  // namespace q417
