#include "profiles/CMouseProfiledata.h"

namespace q417 {
namespace {

// "SystemStages" keys by the byte offset of their half in the settings record.
struct StageKey {
    std::size_t offset;
    const char* key;
    bool boolean;
};
constexpr StageKey kStageKeys[] = {
    {MouseSystemStages::kDoubleClickTime, "DoubleClickTime", false},
    {MouseSystemStages::kMouseSpeed, "MouseSpeed", false},
    {MouseSystemStages::kPointerPrecision, "PointerPrecision", false},
    {MouseSystemStages::kScrollPage, "ScorllPage", false},
    {MouseSystemStages::kWheelScrollLines, "WheelScorlllinse", false},
    {MouseSystemStages::kDormancyTime, "DormancyTime", false},
    {MouseSystemStages::kAntiShake, "AntiShake", false},
    {MouseSystemStages::kSilentAltitude, "SilentAltitudeItem", false},
    {MouseSystemStages::kSensorLift, "SensorLif", true},
    {MouseSystemStages::kMotionSync, "MotionSync", true},
    {MouseSystemStages::kLinearCalibration, "LinearCalibration", false},
    {MouseSystemStages::kKeyDelay, "KeyDelay", false},
    {MouseSystemStages::kDeepSleepOff, "DeepSleepOff", false},
    {MouseSystemStages::kSleepTime, "sleeptime", false},
    {MouseSystemStages::kSleepTimeH, "sleeptimeH", false},
    {MouseSystemStages::kReportSelectUsb, "ReportSelectItemUSB", false},
    {MouseSystemStages::kReportSelect24K, "ReportSelectItem24K", false},
};

}  // namespace

std::vector<DpiStage> CMouseProfiledata::GetDpiStages() {
    Json::Value& element = MutableElement();
    if (element.isObject()) {
        Json::Value& section = element["DPIStages"];
        if (section.isObject()) {
            m_activeStage = ReadInt(section["StageActive"]);
            Json::Value& list = section["StageDPIs"];
            if (list.isArray()) {
                for (Json::ArrayIndex j = 0; j < list.size(); ++j) {
                    Json::Value& e = list[j];
                    DpiStage s{};
                    if (e.isObject()) {
                        s.active = ReadU8(e["StageActive"]);
                        s.xy = ReadU8(e["StageXY"]);
                        s.dpiX = ReadU16(e["StageDPIX"]);
                        s.dpiY = ReadU16(e["StageDPIY"]);
                        s.red = ReadU8(e["StageColorR"]);
                        s.green = ReadU8(e["StageColorG"]);
                        s.blue = ReadU8(e["StageColorB"]);
                    }
                    if (j < m_dpiStages.size()) {
                        m_dpiStages[j] = s;
                    } else {
                        m_dpiStages.push_back(s);
                    }
                }
            }
        }
    }
    return m_dpiStages;
}

void CMouseProfiledata::SetDpiStages(const std::vector<DpiStage>& stages) {
    m_dpiStages = stages;
    if (stages.empty()) {
        return;
    }
    Json::Value& section = Member(MutableElement(), "DPIStages");
    section.removeMember(kStageUnitKey);
    Json::Value& list = Member(section, "StageDPIs");
    for (std::size_t j = 0; j < stages.size(); ++j) {
        Json::Value& e = Item(list, static_cast<Json::ArrayIndex>(j));
        const DpiStage& s = stages[j];
        Member(e, "StageActive") = int{s.active};
        Member(e, "StageXY") = int{s.xy};
        Member(e, "StageDPIX") = int{s.dpiX};
        Member(e, "StageDPIY") = int{s.dpiY};
        Member(e, "StageColorR") = int{s.red};
        Member(e, "StageColorG") = int{s.green};
        Member(e, "StageColorB") = int{s.blue};
    }
}

bool CMouseProfiledata::StagesInPlainDpi() const {
    const Json::Value& element = Element();
    if (!element.isObject() || !element["DPIStages"].isObject()) {
        return false;
    }
    const Json::Value& unit = element["DPIStages"][kStageUnitKey];
    return unit.isString() && unit.asString() == kStageUnitPlainDpi;
}

bool CMouseProfiledata::ConvertPlainDpiStages(
    const std::function<std::uint16_t(int dpi)>& toStored) {
    if (!StagesInPlainDpi()) {
        return false;
    }
    Json::Value& section = MutableElement()["DPIStages"];
    Json::Value& list = section["StageDPIs"];
    if (list.isArray()) {
        for (Json::Value& e : list) {
            if (!e.isObject()) {
                continue;
            }
            for (const char* key : {"StageDPIX", "StageDPIY"}) {
                if (e.isMember(key)) {
                    e[key] = int{toStored(ReadInt(e[key]))};
                }
            }
        }
    }
    section.removeMember(kStageUnitKey);
    GetDpiStages();
    return true;
}

bool CMouseProfiledata::StagesWithin(const Json::Value& element, int lowest, int highest) {
    if (!element.isObject() || !element["DPIStages"].isObject()) {
        return false;
    }
    const Json::Value& list = element["DPIStages"]["StageDPIs"];
    if (!list.isArray() || list.empty()) {
        return false;
    }
    for (const Json::Value& e : list) {
        if (!e.isObject()) {
            return false;
        }
        for (const char* key : {"StageDPIX", "StageDPIY"}) {
            const Json::Value& v = e[key];
            if (!v.isIntegral() || v.asLargestInt() < lowest || v.asLargestInt() > highest) {
                return false;
            }
        }
    }
    return true;
}

void CMouseProfiledata::SetActiveDpiStage(int n) {
    m_activeStage = n;
    Member(Member(MutableElement(), "DPIStages"), "StageActive") = n;
}

MouseSystemStages CMouseProfiledata::GetSystemStages() {
    MouseSystemStages s{};
    Json::Value& element = MutableElement();
    if (element.isObject()) {
        Json::Value& section = element["SystemStages"];
        if (section.isObject()) {
            for (const StageKey& k : kStageKeys) {
                const Json::Value& v = section[k.key];
                s.SetHalf(k.offset, k.boolean ? (ReadBool(v) ? 1 : 0) : ReadU16(v));
            }
            Json::Value& report = element["ReportStages"];
            if (report.isObject()) {
                s.SetHalf(MouseSystemStages::kReportStageActive, ReadU16(report["StageActive"]));
            }
        }
    }
    m_systemStages = s;
    return s;
}

void CMouseProfiledata::SetSystemStages(const MouseSystemStages& stages) {
    m_systemStages = stages;
    Json::Value& section = Member(MutableElement(), "SystemStages");
    for (const StageKey& k : kStageKeys) {
        Member(section, k.key) = int{stages.Half(k.offset)};
    }
    Member(Member(MutableElement(), "ReportStages"), "StageActive") =
        int{stages.Half(MouseSystemStages::kReportStageActive)};
}

}  // namespace q417
