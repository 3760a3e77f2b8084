#include "transport/HidReportDescriptor.h"

#include <algorithm>
#include <bitset>
#include <limits>
#include <map>

namespace q417 {
namespace {

constexpr std::size_t Index(HidReportType type) {
    return static_cast<std::size_t>(type);
}
constexpr bool ValidType(HidReportType type) {
    return Index(type) < kHidReportTypeCount;
}

// Item types and tags of short items (HID 1.11, 6.2.2).
constexpr uint8_t kTypeMain = 0;
constexpr uint8_t kTypeGlobal = 1;
constexpr uint8_t kTypeLocal = 2;
constexpr uint8_t kLongItemPrefix = 0xFE;

constexpr uint8_t kMainInput = 0x8;
constexpr uint8_t kMainOutput = 0x9;
constexpr uint8_t kMainCollection = 0xA;
constexpr uint8_t kMainFeature = 0xB;
constexpr uint8_t kMainEndCollection = 0xC;

constexpr uint8_t kGlobalUsagePage = 0x0;
constexpr uint8_t kGlobalLogicalMin = 0x1;
constexpr uint8_t kGlobalLogicalMax = 0x2;
constexpr uint8_t kGlobalPhysicalMin = 0x3;
constexpr uint8_t kGlobalPhysicalMax = 0x4;
constexpr uint8_t kGlobalUnitExponent = 0x5;
constexpr uint8_t kGlobalUnit = 0x6;
constexpr uint8_t kGlobalReportSize = 0x7;
constexpr uint8_t kGlobalReportId = 0x8;
constexpr uint8_t kGlobalReportCount = 0x9;
constexpr uint8_t kGlobalPush = 0xA;
constexpr uint8_t kGlobalPop = 0xB;

constexpr uint8_t kLocalUsage = 0x0;
constexpr uint8_t kLocalUsageMin = 0x1;
constexpr uint8_t kLocalUsageMax = 0x2;
constexpr uint8_t kLocalDelimiter = 0xA;

// Main item data bits.
constexpr uint32_t kFlagConstant = 0x01;
constexpr uint32_t kFlagVariable = 0x02;
constexpr uint32_t kFlagRelative = 0x04;
constexpr uint32_t kFlagNullState = 0x40;

constexpr uint32_t kMaxReportDataBits = kMaxHidReportDataBytes * 8;

int32_t SignExtend(uint32_t raw, unsigned bits) {
    if (bits == 0 || bits >= 32) {
        return static_cast<int32_t>(raw);
    }
    const uint32_t sign = 1u << (bits - 1);
    const uint32_t mask = (1u << bits) - 1;
    raw &= mask;
    return static_cast<int32_t>((raw ^ sign) - sign);
}

// Up to 32 bits, least significant first, starting at bitOffset. The caller checks the bounds.
uint32_t ReadBits(std::span<const uint8_t> data, uint32_t bitOffset, uint32_t bits) {
    const uint32_t first = bitOffset / 8;
    const uint32_t shift = bitOffset % 8;
    const uint32_t bytes = (shift + bits + 7) / 8;
    uint64_t acc = 0;
    for (uint32_t k = 0; k < bytes; ++k) {
        acc |= static_cast<uint64_t>(data[first + k]) << (8 * k);
    }
    acc >>= shift;
    return bits >= 32 ? static_cast<uint32_t>(acc)
                      : static_cast<uint32_t>(acc & ((uint64_t{1} << bits) - 1));
}

// A usage as declared by a local item; `extended` when it carried its own page (4-byte data).
struct UsageRef {
    uint16_t page = 0;
    uint16_t id = 0;
    bool extended = false;
};

struct UsageEntry {
    uint16_t page = 0;
    uint16_t min = 0;
    uint16_t max = 0;
    bool isRange = false;
    bool extended = false;
    uint32_t Span() const { return uint32_t{max} - min + 1; }
};

struct GlobalState {
    uint16_t usagePage = 0;
    int32_t logicalMin = 0;
    uint32_t logicalMaxRaw = 0;
    unsigned logicalMaxBits = 0;
    int32_t physicalMin = 0;
    uint32_t physicalMaxRaw = 0;
    unsigned physicalMaxBits = 0;
    uint32_t unitExponent = 0;
    uint32_t unit = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

struct LocalState {
    std::vector<UsageEntry> usages;
    std::optional<UsageRef> pendingMin;
    std::optional<UsageRef> pendingMax;
    int delimiterDepth = 0;
    int delimiterSets = 0;
};

// A maximum is read unsigned unless the matching minimum is negative, so that the common
// "Logical Minimum 0, Logical Maximum 0xFF" (one data byte) means 255 and not -1.
int64_t ResolveMaximum(int32_t minimum, uint32_t raw, unsigned bits) {
    if (minimum < 0) {
        return SignExtend(raw, bits);
    }
    return raw;
}

int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

// Walks the items once, keeping the global, local and collection state, and builds one
// HidPreparsed per top-level collection.
class HidDescriptorParser {
public:
    std::optional<HidReportDescriptorInfo> Parse(std::span<const uint8_t> bytes,
                                                 std::string* error);

private:
    struct TopLevel {
        std::shared_ptr<HidPreparsed> preparsed = std::make_shared<HidPreparsed>();
        uint32_t linkNodes = 1;
        std::bitset<256> reportIds[kHidReportTypeCount];
    };

    bool Fail(std::string why) {
        error_ = "offset " + std::to_string(offset_) + ": " + std::move(why);
        return false;
    }
    bool HandleMain(uint8_t tag, uint32_t data);
    bool HandleGlobal(uint8_t tag, uint32_t data, unsigned dataBytes);
    bool HandleLocal(uint8_t tag, uint32_t data, unsigned dataBytes);
    bool TryFormRange();
    bool AddField(HidReportType type, uint32_t flags);
    bool AddButtonCap(HidReportType type, const HidButtonCap& cap);
    bool AddValueCap(HidReportType type, const HidValueCap& cap);
    std::vector<UsageEntry> MainItemUsages() const;
    bool Finish();

    std::size_t offset_ = 0;
    std::string error_;
    GlobalState global_;
    std::vector<GlobalState> globalStack_;
    LocalState local_;
    std::vector<uint16_t> collectionStack_;  // link-collection index of each open collection
    std::vector<TopLevel> topLevels_;
    // Bits used so far by each (report type, report ID), across the whole descriptor.
    uint32_t reportBits_[kHidReportTypeCount][256] = {};
    std::size_t capCount_ = 0;
    std::size_t valueUsages_ = 0;
};

std::optional<HidReportDescriptorInfo> HidDescriptorParser::Parse(std::span<const uint8_t> bytes,
                                                                  std::string* error) {
    auto fail = [&]() -> std::optional<HidReportDescriptorInfo> {
        if (error != nullptr) {
            *error = error_;
        }
        return std::nullopt;
    };
    if (bytes.size() > kMaxReportDescriptorBytes) {
        error_ = "descriptor of " + std::to_string(bytes.size()) + " bytes exceeds " +
                 std::to_string(kMaxReportDescriptorBytes);
        return fail();
    }
    while (offset_ < bytes.size()) {
        const uint8_t prefix = bytes[offset_];
        const std::size_t left = bytes.size() - offset_ - 1;
        if (prefix == kLongItemPrefix) {
            // Long items carry no meaning for report layout; skip them whole.
            if (left < 2 || left - 2 < bytes[offset_ + 1]) {
                Fail("truncated long item");
                return fail();
            }
            offset_ += 3 + bytes[offset_ + 1];
            continue;
        }
        static constexpr unsigned kSizes[4] = {0, 1, 2, 4};
        const unsigned dataBytes = kSizes[prefix & 0x3];
        if (left < dataBytes) {
            Fail("truncated item");
            return fail();
        }
        uint32_t data = 0;
        for (unsigned k = 0; k < dataBytes; ++k) {
            data |= static_cast<uint32_t>(bytes[offset_ + 1 + k]) << (8 * k);
        }
        const uint8_t type = (prefix >> 2) & 0x3;
        const uint8_t tag = prefix >> 4;
        bool ok = true;
        if (type == kTypeMain) {
            ok = HandleMain(tag, data);
        } else if (type == kTypeGlobal) {
            ok = HandleGlobal(tag, data, dataBytes);
        } else if (type == kTypeLocal) {
            ok = HandleLocal(tag, data, dataBytes);
        }  // type 3 is reserved: ignored
        if (!ok) {
            return fail();
        }
        offset_ += 1 + dataBytes;
    }
    if (!Finish()) {
        return fail();
    }
    HidReportDescriptorInfo info;
    for (auto& top : topLevels_) {
        info.collections.push_back(std::move(top.preparsed));
    }
    return info;
}

bool HidDescriptorParser::HandleMain(uint8_t tag, uint32_t data) {
    bool ok = true;
    switch (tag) {
        case kMainInput:
            ok = AddField(HidReportType::Input, data);
            break;
        case kMainOutput:
            ok = AddField(HidReportType::Output, data);
            break;
        case kMainFeature:
            ok = AddField(HidReportType::Feature, data);
            break;
        case kMainCollection: {
            if (collectionStack_.size() >= static_cast<std::size_t>(kMaxHidCollectionDepth)) {
                return Fail("collections nested deeper than " +
                            std::to_string(kMaxHidCollectionDepth));
            }
            if (collectionStack_.empty()) {
                if (topLevels_.size() >= kMaxHidTopLevelCollections) {
                    return Fail("more than " + std::to_string(kMaxHidTopLevelCollections) +
                                " top-level collections");
                }
                const auto usages = MainItemUsages();
                TopLevel& top = topLevels_.emplace_back();
                top.preparsed->caps_.usagePage =
                    usages.empty() ? global_.usagePage : usages.front().page;
                top.preparsed->caps_.usage = usages.empty() ? 0 : usages.front().min;
                collectionStack_.push_back(0);
            } else {
                TopLevel& top = topLevels_.back();
                if (top.linkNodes >= std::numeric_limits<uint16_t>::max()) {
                    return Fail("too many link collections");
                }
                collectionStack_.push_back(static_cast<uint16_t>(top.linkNodes++));
            }
            break;
        }
        case kMainEndCollection:
            if (collectionStack_.empty()) {
                return Fail("End Collection without an open collection");
            }
            collectionStack_.pop_back();
            break;
        default:
            break;  // reserved main tags carry no data layout
    }
    local_ = LocalState{};
    return ok;
}

bool HidDescriptorParser::HandleGlobal(uint8_t tag, uint32_t data, unsigned dataBytes) {
    const unsigned bits = dataBytes * 8;
    switch (tag) {
        case kGlobalUsagePage:
            global_.usagePage = static_cast<uint16_t>(data);
            break;
        case kGlobalLogicalMin:
            global_.logicalMin = SignExtend(data, bits);
            break;
        case kGlobalLogicalMax:
            global_.logicalMaxRaw = data;
            global_.logicalMaxBits = bits;
            break;
        case kGlobalPhysicalMin:
            global_.physicalMin = SignExtend(data, bits);
            break;
        case kGlobalPhysicalMax:
            global_.physicalMaxRaw = data;
            global_.physicalMaxBits = bits;
            break;
        case kGlobalUnitExponent:
            global_.unitExponent = data;
            break;
        case kGlobalUnit:
            global_.unit = data;
            break;
        case kGlobalReportSize:
            if (data > kMaxHidReportSizeBits) {
                return Fail("Report Size " + std::to_string(data) + " exceeds " +
                            std::to_string(kMaxHidReportSizeBits) + " bits");
            }
            global_.reportSize = data;
            break;
        case kGlobalReportId:
            if (data == 0 || data > 255) {
                return Fail("Report ID " + std::to_string(data) + " outside 1..255");
            }
            global_.reportId = static_cast<uint8_t>(data);
            break;
        case kGlobalReportCount:
            if (data > kMaxReportDataBits) {
                return Fail("Report Count " + std::to_string(data) + " too large");
            }
            global_.reportCount = data;
            break;
        case kGlobalPush:
            if (globalStack_.size() >= static_cast<std::size_t>(kMaxHidPushDepth)) {
                return Fail("Push nested deeper than " + std::to_string(kMaxHidPushDepth));
            }
            globalStack_.push_back(global_);
            break;
        case kGlobalPop:
            if (globalStack_.empty()) {
                return Fail("Pop without Push");
            }
            global_ = globalStack_.back();
            globalStack_.pop_back();
            break;
        default:
            break;  // reserved global tags
    }
    return true;
}

bool HidDescriptorParser::HandleLocal(uint8_t tag, uint32_t data, unsigned dataBytes) {
    // Within a delimiter only the first set of alternative usages counts.
    const bool ignoreUsage = local_.delimiterDepth > 0 && local_.delimiterSets > 1;
    UsageRef ref;
    if (dataBytes == 4) {
        ref = {static_cast<uint16_t>(data >> 16), static_cast<uint16_t>(data), true};
    } else {
        ref = {global_.usagePage, static_cast<uint16_t>(data), false};
    }
    switch (tag) {
        case kLocalUsage:
            if (!ignoreUsage) {
                local_.usages.push_back({ref.page, ref.id, ref.id, false, ref.extended});
            }
            break;
        case kLocalUsageMin:
            if (!ignoreUsage) {
                local_.pendingMin = ref;
                return TryFormRange();
            }
            break;
        case kLocalUsageMax:
            if (!ignoreUsage) {
                local_.pendingMax = ref;
                return TryFormRange();
            }
            break;
        case kLocalDelimiter:
            if (data == 1) {
                if (local_.delimiterDepth > 0) {
                    return Fail("nested delimiter");
                }
                local_.delimiterDepth = 1;
                ++local_.delimiterSets;
            } else if (data == 0) {
                if (local_.delimiterDepth == 0) {
                    return Fail("delimiter closed without being opened");
                }
                local_.delimiterDepth = 0;
            }
            break;
        default:
            break;  // designators and strings do not affect the report layout
    }
    return true;
}

bool HidDescriptorParser::TryFormRange() {
    if (!local_.pendingMin || !local_.pendingMax) {
        return true;
    }
    const UsageRef lo = *local_.pendingMin;
    const UsageRef hi = *local_.pendingMax;
    local_.pendingMin.reset();
    local_.pendingMax.reset();
    if (lo.extended && hi.extended && lo.page != hi.page) {
        return Fail("usage range spans two usage pages");
    }
    if (lo.id > hi.id) {
        return Fail("usage range with minimum " + std::to_string(lo.id) + " above maximum " +
                    std::to_string(hi.id));
    }
    const bool extended = lo.extended || hi.extended;
    const uint16_t page = lo.extended ? lo.page : (hi.extended ? hi.page : lo.page);
    local_.usages.push_back({page, lo.id, hi.id, true, extended});
    return true;
}

// Usages declared before the last Usage Page item take that page, as the Windows and Linux
// parsers do for descriptors that state the page after the usages; usages already on the
// current page, and everything declared before them, keep their own page.
std::vector<UsageEntry> HidDescriptorParser::MainItemUsages() const {
    std::vector<UsageEntry> usages = local_.usages;
    for (auto it = usages.rbegin(); it != usages.rend(); ++it) {
        if (it->extended) {
            continue;
        }
        if (it->page == global_.usagePage) {
            break;
        }
        it->page = global_.usagePage;
    }
    return usages;
}

bool HidDescriptorParser::AddButtonCap(HidReportType type, const HidButtonCap& cap) {
    if (++capCount_ > kMaxHidCaps) {
        return Fail("more than " + std::to_string(kMaxHidCaps) + " capabilities");
    }
    topLevels_.back().preparsed->buttonCaps_[Index(type)].push_back(cap);
    return true;
}

bool HidDescriptorParser::AddValueCap(HidReportType type, const HidValueCap& cap) {
    if (++capCount_ > kMaxHidCaps) {
        return Fail("more than " + std::to_string(kMaxHidCaps) + " capabilities");
    }
    valueUsages_ += cap.isRange ? uint32_t{cap.usageMax} - cap.usageMin + 1 : 1;
    if (valueUsages_ > kMaxHidValueUsages) {
        return Fail("more than " + std::to_string(kMaxHidValueUsages) + " value usages");
    }
    topLevels_.back().preparsed->valueCaps_[Index(type)].push_back(cap);
    return true;
}

bool HidDescriptorParser::AddField(HidReportType type, uint32_t flags) {
    const uint32_t size = global_.reportSize;
    const uint32_t count = global_.reportCount;
    const uint64_t bits = uint64_t{size} * count;
    if (bits == 0) {
        return true;
    }
    const uint8_t reportId = global_.reportId;
    uint32_t& used = reportBits_[Index(type)][reportId];
    if (used + bits > kMaxReportDataBits) {
        return Fail("report " + std::to_string(reportId) + " longer than " +
                    std::to_string(kMaxHidReportDataBytes) + " bytes");
    }
    const uint32_t start = used;
    used += static_cast<uint32_t>(bits);
    if (collectionStack_.empty()) {
        return true;  // outside every collection: takes room in the report, belongs to no one
    }
    TopLevel& top = topLevels_.back();
    top.reportIds[Index(type)].set(reportId);
    if ((flags & kFlagConstant) != 0) {
        return true;  // padding: advances the position only
    }

    std::vector<UsageEntry> usages = MainItemUsages();
    if (usages.empty()) {
        usages.push_back({global_.usagePage, 0, 0, false, false});
    }
    const int32_t logicalMin = global_.logicalMin;
    const int32_t logicalMax = static_cast<int32_t>(
        ResolveMaximum(logicalMin, global_.logicalMaxRaw, global_.logicalMaxBits));
    const int32_t physicalMin = global_.physicalMin;
    const int32_t physicalMax = static_cast<int32_t>(
        ResolveMaximum(physicalMin, global_.physicalMaxRaw, global_.physicalMaxBits));
    const uint16_t link = collectionStack_.back();
    const bool isAbsolute = (flags & kFlagRelative) == 0;

    if ((flags & kFlagVariable) == 0) {
        // An array: every usage listed is one selectable value of the same field.
        auto& caps = top.preparsed->buttonCaps_[Index(type)];
        HidPreparsed::ArrayField field{caps.size(), usages.size()};
        for (const auto& u : usages) {
            HidButtonCap cap;
            cap.usagePage = u.page;
            cap.reportId = reportId;
            cap.isRange = u.isRange;
            cap.usageMin = u.min;
            cap.usageMax = u.max;
            cap.isAbsolute = isAbsolute;
            cap.isArray = true;
            cap.linkCollection = link;
            cap.bitPosition = static_cast<uint16_t>(start);
            cap.bitSize = static_cast<uint16_t>(size);
            cap.reportCount = static_cast<uint16_t>(count);
            cap.logicalMin = logicalMin;
            cap.logicalMax = logicalMax;
            if (!AddButtonCap(type, cap)) {
                return false;
            }
        }
        top.preparsed->arrayFields_[Index(type)].push_back(field);
        return true;
    }

    // Variables: the usages are handed out to the fields in order, a range one per field; usages
    // beyond the report count are dropped and the last usage covers any fields left over.
    uint32_t fieldIndex = 0;
    for (std::size_t i = 0; i < usages.size() && fieldIndex < count; ++i) {
        const UsageEntry& u = usages[i];
        const uint32_t take = std::min(u.Span(), count - fieldIndex);
        const bool lastUsed = i + 1 == usages.size() || fieldIndex + take >= count;
        const uint32_t fields = lastUsed ? count - fieldIndex : take;
        const auto usageMax = static_cast<uint16_t>(u.min + take - 1);
        const auto bitPosition = static_cast<uint16_t>(start + fieldIndex * size);
        if (size == 1) {
            HidButtonCap cap;
            cap.usagePage = u.page;
            cap.reportId = reportId;
            cap.isRange = u.isRange;
            cap.usageMin = u.min;
            cap.usageMax = usageMax;
            cap.isAbsolute = isAbsolute;
            cap.linkCollection = link;
            cap.bitPosition = bitPosition;
            cap.bitSize = 1;
            cap.reportCount = static_cast<uint16_t>(fields);
            cap.logicalMin = logicalMin;
            cap.logicalMax = logicalMax;
            if (!AddButtonCap(type, cap)) {
                return false;
            }
        } else {
            HidValueCap cap;
            cap.usagePage = u.page;
            cap.reportId = reportId;
            cap.isRange = u.isRange;
            cap.usageMin = u.min;
            cap.usageMax = usageMax;
            cap.isAbsolute = isAbsolute;
            cap.hasNull = (flags & kFlagNullState) != 0;
            cap.linkCollection = link;
            cap.bitPosition = bitPosition;
            cap.bitSize = static_cast<uint16_t>(size);
            cap.reportCount = static_cast<uint16_t>(fields);
            cap.logicalMin = logicalMin;
            cap.logicalMax = logicalMax;
            cap.physicalMin = physicalMin;
            cap.physicalMax = physicalMax;
            cap.units = global_.unit;
            cap.unitsExp = global_.unitExponent;
            if (!AddValueCap(type, cap)) {
                return false;
            }
        }
        fieldIndex += fields;
    }
    return true;
}

bool HidDescriptorParser::Finish() {
    if (!collectionStack_.empty()) {
        return Fail("collection left open at the end");
    }
    if (local_.delimiterDepth != 0) {
        return Fail("delimiter left open at the end");
    }
    if (topLevels_.empty()) {
        return Fail("no top-level collection");
    }
    for (TopLevel& top : topLevels_) {
        HidPreparsed& p = *top.preparsed;
        uint16_t* lengths[kHidReportTypeCount] = {&p.caps_.inputReportByteLength,
                                                  &p.caps_.outputReportByteLength,
                                                  &p.caps_.featureReportByteLength};
        uint16_t* buttonCounts[kHidReportTypeCount] = {&p.caps_.numberInputButtonCaps,
                                                       &p.caps_.numberOutputButtonCaps,
                                                       &p.caps_.numberFeatureButtonCaps};
        uint16_t* valueCounts[kHidReportTypeCount] = {&p.caps_.numberInputValueCaps,
                                                      &p.caps_.numberOutputValueCaps,
                                                      &p.caps_.numberFeatureValueCaps};
        uint16_t* indexCounts[kHidReportTypeCount] = {&p.caps_.numberInputDataIndices,
                                                      &p.caps_.numberOutputDataIndices,
                                                      &p.caps_.numberFeatureDataIndices};
        for (std::size_t t = 0; t < kHidReportTypeCount; ++t) {
            uint16_t longest = 0;
            for (unsigned id = 0; id < 256; ++id) {
                if (!top.reportIds[t].test(id)) {
                    continue;
                }
                // Whole bytes of data plus the report-ID byte (a 0 for unnumbered reports).
                const auto bytes = static_cast<uint16_t>(1 + (reportBits_[t][id] + 7) / 8);
                p.reportByteLengths_[t][id] = bytes;
                longest = std::max(longest, bytes);
                if (id != 0) {
                    p.reportIds_[t].push_back(static_cast<uint8_t>(id));
                    p.usesReportIds_ = true;
                }
            }
            *lengths[t] = longest;
            *buttonCounts[t] = static_cast<uint16_t>(p.buttonCaps_[t].size());
            *valueCounts[t] = static_cast<uint16_t>(p.valueCaps_[t].size());
            uint32_t indices = 0;
            for (const auto& c : p.buttonCaps_[t]) {
                indices += c.isRange ? uint32_t{c.usageMax} - c.usageMin + 1 : 1;
            }
            for (const auto& c : p.valueCaps_[t]) {
                indices += c.isRange ? uint32_t{c.usageMax} - c.usageMin + 1 : 1;
            }
            *indexCounts[t] = static_cast<uint16_t>(
                std::min<uint32_t>(indices, std::numeric_limits<uint16_t>::max()));

            // Each button item later holds a usage list as long as its page's maximum.
            std::map<uint16_t, uint32_t> listLengths;
            std::size_t slots = 0;
            for (const auto& c : p.buttonCaps_[t]) {
                auto [it, added] = listLengths.try_emplace(c.usagePage, 0);
                if (added) {
                    it->second = p.MaxUsageListLength(static_cast<HidReportType>(t), c.usagePage);
                }
                slots += it->second;
            }
            if (slots > kMaxHidButtonUsageSlots) {
                return Fail("button usage lists of a collection too large");
            }
        }
        p.caps_.numberLinkCollectionNodes = static_cast<uint16_t>(top.linkNodes);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

const std::vector<HidButtonCap>& HidPreparsed::ButtonCaps(HidReportType type) const {
    static const std::vector<HidButtonCap> kNone;
    return ValidType(type) ? buttonCaps_[Index(type)] : kNone;
}

const std::vector<HidValueCap>& HidPreparsed::ValueCaps(HidReportType type) const {
    static const std::vector<HidValueCap> kNone;
    return ValidType(type) ? valueCaps_[Index(type)] : kNone;
}

const std::vector<uint8_t>& HidPreparsed::ReportIds(HidReportType type) const {
    static const std::vector<uint8_t> kNone;
    return ValidType(type) ? reportIds_[Index(type)] : kNone;
}

bool HidPreparsed::OwnsReportId(HidReportType type, uint8_t reportId) const {
    return ReportByteLength(type, reportId) != 0;
}

uint16_t HidPreparsed::ReportByteLength(HidReportType type, uint8_t reportId) const {
    return ValidType(type) ? reportByteLengths_[Index(type)][reportId] : 0;
}

uint32_t HidPreparsed::MaxUsageListLength(HidReportType type, uint16_t usagePage) const {
    if (!ValidType(type)) {
        return 0;
    }
    const auto& caps = buttonCaps_[Index(type)];
    uint32_t total = 0;
    for (const auto& cap : caps) {
        if (!cap.isArray && (usagePage == 0 || cap.usagePage == usagePage)) {
            total += cap.reportCount;
        }
    }
    for (const auto& field : arrayFields_[Index(type)]) {
        const auto first = caps.begin() + static_cast<std::ptrdiff_t>(field.firstCap);
        const bool onPage =
            usagePage == 0 ||
            std::any_of(first, first + static_cast<std::ptrdiff_t>(field.capCount),
                        [&](const HidButtonCap& c) { return c.usagePage == usagePage; });
        if (onPage) {
            total += first->reportCount;
        }
    }
    return total;
}

uint32_t HidPreparsed::CheckReport(HidReportType type, std::span<const uint8_t> report) const {
    if (!ValidType(type)) {
        return kHidpStatusInvalidReportType;
    }
    if (report.empty() || report.size() < reportByteLengths_[Index(type)][report[0]]) {
        return kHidpStatusInvalidReportLength;
    }
    return kHidpStatusSuccess;
}

uint32_t HidPreparsed::GetUsages(HidReportType type, uint16_t usagePage,
                                 std::span<const uint8_t> report,
                                 std::vector<uint16_t>& usages) const {
    usages.clear();
    if (!ValidType(type)) {
        return kHidpStatusInvalidReportType;
    }
    if (report.empty()) {
        return kHidpStatusInvalidReportLength;
    }
    const uint8_t reportId = report[0];
    const auto& caps = buttonCaps_[Index(type)];
    bool onPage = false;
    bool inReport = false;
    for (const auto& cap : caps) {
        if (cap.usagePage == usagePage) {
            onPage = true;
            inReport = inReport || cap.reportId == reportId;
        }
    }
    if (!onPage) {
        return kHidpStatusUsageNotFound;
    }
    if (!inReport) {
        return kHidpStatusIncompatibleReportId;
    }
    if (const uint32_t status = CheckReport(type, report); status != kHidpStatusSuccess) {
        return status;
    }
    const auto data = report.subspan(1);

    for (const auto& cap : caps) {
        if (cap.isArray || cap.usagePage != usagePage || cap.reportId != reportId) {
            continue;
        }
        bool reported = false;
        uint16_t last = 0;
        for (uint32_t i = 0; i < cap.reportCount; ++i) {
            const uint32_t bit = cap.bitPosition + i * cap.bitSize;
            if (ReadBits(data, bit, std::min<uint32_t>(cap.bitSize, 32)) == 0) {
                continue;
            }
            const uint16_t usage =
                cap.isRange
                    ? static_cast<uint16_t>(std::min<uint32_t>(cap.usageMin + i, cap.usageMax))
                    : cap.usageMin;
            // Fields past the usage list repeat the last usage: report it once.
            if (usage == 0 || (reported && usage == last)) {
                continue;
            }
            usages.push_back(usage);
            reported = true;
            last = usage;
        }
    }

    for (const auto& field : arrayFields_[Index(type)]) {
        const HidButtonCap& head = caps[field.firstCap];
        if (head.reportId != reportId) {
            continue;
        }
        for (uint32_t i = 0; i < head.reportCount; ++i) {
            const uint32_t bit = head.bitPosition + i * head.bitSize;
            const uint32_t raw = ReadBits(data, bit, std::min<uint32_t>(head.bitSize, 32));
            if (raw == 0) {
                continue;  // nothing selected in this slot
            }
            const int64_t v = head.logicalMin < 0 ? SignExtend(raw, head.bitSize) : int64_t{raw};
            if (v < head.logicalMin || v > head.logicalMax) {
                continue;
            }
            uint64_t index = static_cast<uint64_t>(v - head.logicalMin);
            for (std::size_t c = 0; c < field.capCount; ++c) {
                const HidButtonCap& cap = caps[field.firstCap + c];
                const uint32_t span = cap.isRange ? uint32_t{cap.usageMax} - cap.usageMin + 1 : 1;
                if (index >= span) {
                    index -= span;
                    continue;
                }
                const auto usage = static_cast<uint16_t>(cap.usageMin + index);
                if (cap.usagePage == usagePage && usage != 0) {
                    usages.push_back(usage);
                }
                break;
            }
        }
    }
    return kHidpStatusSuccess;
}

uint32_t HidPreparsed::ReadValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                                 std::span<const uint8_t> report, const HidValueCap*& found,
                                 uint32_t& raw) const {
    found = nullptr;
    if (!ValidType(type)) {
        return kHidpStatusInvalidReportType;
    }
    if (report.empty()) {
        return kHidpStatusInvalidReportLength;
    }
    bool known = false;
    for (const auto& cap : valueCaps_[Index(type)]) {
        const bool matches =
            cap.usagePage == usagePage &&
            (cap.isRange ? usage >= cap.usageMin && usage <= cap.usageMax : usage == cap.usageMin);
        if (!matches) {
            continue;
        }
        known = true;
        if (cap.reportId == report[0]) {
            found = &cap;
            break;
        }
    }
    if (!known) {
        return kHidpStatusUsageNotFound;
    }
    if (found == nullptr) {
        return kHidpStatusIncompatibleReportId;
    }
    if (const uint32_t status = CheckReport(type, report); status != kHidpStatusSuccess) {
        found = nullptr;
        return status;
    }
    const uint32_t index = found->isRange ? uint32_t{usage} - found->usageMin : 0;
    const uint32_t bit = found->bitPosition + index * found->bitSize;
    if (bit + found->bitSize > (report.size() - 1) * 8) {
        found = nullptr;
        return kHidpStatusInvalidReportLength;
    }
    // Fields wider than 32 bits give their low 32 bits.
    raw = ReadBits(report.subspan(1), bit, std::min<uint32_t>(found->bitSize, 32));
    return kHidpStatusSuccess;
}

uint32_t HidPreparsed::GetUsageValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                                     std::span<const uint8_t> report, uint32_t& value) const {
    const HidValueCap* cap = nullptr;
    uint32_t raw = 0;
    const uint32_t status = ReadValue(type, usagePage, usage, report, cap, raw);
    if (status == kHidpStatusSuccess) {
        value = raw;
    }
    return status;
}

uint32_t HidPreparsed::GetScaledUsageValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                                           std::span<const uint8_t> report, int32_t& value) const {
    const HidValueCap* cap = nullptr;
    uint32_t raw = 0;
    if (const uint32_t status = ReadValue(type, usagePage, usage, report, cap, raw);
        status != kHidpStatusSuccess) {
        return status;
    }
    const int64_t logicalMin = cap->logicalMin;
    const int64_t logicalMax = cap->logicalMax;
    int64_t physicalMin = cap->physicalMin;
    int64_t physicalMax = cap->physicalMax;
    if (physicalMin == 0 && physicalMax == 0) {
        // No physical range declared: it equals the logical range.
        physicalMin = logicalMin;
        physicalMax = logicalMax;
    }
    if (logicalMin >= logicalMax || physicalMin >= physicalMax) {
        return kHidpStatusBadLogPhyValues;
    }
    const int64_t v =
        (logicalMin < 0 && cap->bitSize <= 32) ? SignExtend(raw, cap->bitSize) : int64_t{raw};
    if (v < logicalMin || v > logicalMax) {
        return cap->hasNull ? kHidpStatusNull : kHidpStatusValueOutOfRange;
    }
    const __int128 scaled = static_cast<__int128>(v - logicalMin) * (physicalMax - physicalMin) /
                                (logicalMax - logicalMin) +
                            physicalMin;
    value = ClampToInt32(static_cast<int64_t>(scaled));
    return kHidpStatusSuccess;
}

// ---------------------------------------------------------------------------------------------

std::optional<HidReportDescriptorInfo> ParseHidReportDescriptor(std::span<const uint8_t> bytes,
                                                                std::string* error) {
    HidDescriptorParser parser;
    return parser.Parse(bytes, error);
}

std::vector<HidDataItem> BuildHidDataItems(const HidPreparsed& preparsed, HidReportType type) {
    std::vector<HidDataItem> items;
    if (!ValidType(type)) {
        return items;
    }
    const auto& buttons = preparsed.ButtonCaps(type);
    const auto& values = preparsed.ValueCaps(type);
    std::size_t count = buttons.size();
    for (const auto& cap : values) {
        count += cap.isRange ? uint32_t{cap.usageMax} - cap.usageMin + 1 : 1;
    }
    items.reserve(count);

    std::map<uint16_t, uint32_t> listLengths;
    for (const auto& cap : buttons) {
        auto [it, added] = listLengths.try_emplace(cap.usagePage, 0);
        if (added) {
            it->second = preparsed.MaxUsageListLength(type, cap.usagePage);
        }
        HidDataItem& item = items.emplace_back();
        item.isButtonData = 1;
        item.usagePage = cap.usagePage;
        item.status = kHidpStatusSuccess;
        item.reportId = cap.reportId;
        item.usageMin = cap.usageMin;
        item.usageMax = cap.isRange ? cap.usageMax : cap.usageMin;
        item.maxUsageLength = it->second;
        item.usages.assign(item.maxUsageLength, 0);
    }
    for (const auto& cap : values) {
        const uint32_t last = cap.isRange ? cap.usageMax : cap.usageMin;
        for (uint32_t usage = cap.usageMin; usage <= last; ++usage) {
            HidDataItem& item = items.emplace_back();
            item.isButtonData = 0;
            item.usagePage = cap.usagePage;
            item.status = kHidpStatusSuccess;
            item.reportId = cap.reportId;
            item.usage = static_cast<uint16_t>(usage);
        }
    }
    return items;
}

bool UnpackHidReport(std::span<const uint8_t> report, HidReportType type,
                     std::span<HidDataItem> items, const HidPreparsed& preparsed) {
    if (report.empty() || !ValidType(type)) {
        return false;
    }
    const uint8_t reportId = report[0];
    std::vector<uint16_t> on;
    for (HidDataItem& item : items) {
        if (item.reportId != reportId) {
            continue;
        }
        if (item.isButtonData != 0) {
            item.status = preparsed.GetUsages(type, item.usagePage, report, on);
            const std::size_t capacity =
                std::min<std::size_t>(item.maxUsageLength, item.usages.size());
            std::size_t kept = 0;
            for (const uint16_t usage : on) {
                if (kept == capacity) {
                    break;
                }
                if (usage >= item.usageMin && usage <= item.usageMax) {
                    item.usages[kept++] = usage;
                }
            }
            // The list ends at the first 0; clear the rest so nothing stale stays behind it.
            std::fill(item.usages.begin() + static_cast<std::ptrdiff_t>(kept),
                      item.usages.begin() + static_cast<std::ptrdiff_t>(capacity), uint16_t{0});
        } else {
            uint32_t value = 0;
            const uint32_t status =
                preparsed.GetUsageValue(type, item.usagePage, item.usage, report, value);
            if (status != kHidpStatusSuccess) {
                item.status = status;
                return false;
            }
            item.value = value;
            int32_t scaled = 0;
            item.status =
                preparsed.GetScaledUsageValue(type, item.usagePage, item.usage, report, scaled);
            if (item.status == kHidpStatusSuccess) {
                item.scaledValue = scaled;
            }
        }
        item.isDataSet = 1;
    }
    return true;
}

}  // namespace q417
