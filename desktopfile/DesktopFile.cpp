#include "desktopfile/DesktopFile.h"

#include "desktopfile/Utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace orvi::simulation {
namespace {

// Keys keep their order, so that a written file reads like the documented format.
using json = nlohmann::ordered_json;

[[noreturn]] void fault(const std::string& where, const std::string& what) {
    throw std::runtime_error(where + ": " + what);
}

std::string member(const std::string& where, const std::string& key) { return where.empty() ? key : where + "." + key; }

void checkKeys(const json& object, const std::string& where, std::initializer_list<const char*> known) {
    if (!object.is_object()) {
        fault(where.empty() ? "desktop" : where, "must be an object");
    }
    for (const auto& item : object.items()) {
        bool isKnown = false;
        for (const char* key : known) {
            isKnown = isKnown || item.key() == key;
        }
        if (!isKnown) {
            fault(member(where, item.key()), "unknown key");
        }
    }
}

template <typename Number>
Number readNumber(const json& object, const char* key, Number fallback, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return fallback;
    }
    const std::string place = member(where, key);
    if (found->is_number_unsigned()) {
        const auto value = found->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<Number>::max())) {
            fault(place, "out of range");
        }
        return static_cast<Number>(value);
    }
    if (found->is_number_integer()) {
        const auto value = found->get<std::int64_t>();
        if (value < static_cast<std::int64_t>(std::numeric_limits<Number>::min())) {
            fault(place, "out of range");
        }
        return static_cast<Number>(value);
    }
    fault(place, "must be a whole number");
}

template <typename Number>
std::optional<Number> readOptionalNumber(const json& object, const char* key, const std::string& where) {
    if (!object.contains(key)) {
        return std::nullopt;
    }
    return readNumber<Number>(object, key, 0, where);
}

bool readBool(const json& object, const char* key, bool fallback, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return fallback;
    }
    if (!found->is_boolean()) {
        fault(member(where, key), "must be true or false");
    }
    return found->get<bool>();
}

std::u16string readText(const json& object, const char* key, const std::string& where) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return {};
    }
    if (!found->is_string()) {
        fault(member(where, key), "must be a text");
    }
    try {
        return utf8ToUtf16(found->get_ref<const std::string&>());
    } catch (const std::runtime_error&) {
        fault(member(where, key), "not UTF-8");
    }
}

// Fails for the first of `keys` that `object` lacks.
void requireKeys(const json& object, const std::string& where, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!object.contains(key)) {
            fault(where, std::string("\"") + key + "\" missing");
        }
    }
}

const json& readArray(const json& object, const char* key, const std::string& where) {
    static const json empty = json::array();
    const auto found = object.find(key);
    if (found == object.end()) {
        return empty;
    }
    if (!found->is_array()) {
        fault(member(where, key), "must be an array");
    }
    return *found;
}

std::string item(const std::string& where, const char* key, std::size_t index) {
    return member(where, key) + "[" + std::to_string(index) + "]";
}

// A top-level key whose value is one of a few names; the first name is its default.
template <typename Value>
struct NamedValue {
    Value value;
    const char* name;
};
template <typename Value, std::size_t N>
Value readNamed(const json& document, const char* key, const NamedValue<Value> (&names)[N],
                const std::string& where = "") {
    const auto found = document.find(key);
    if (found == document.end()) {
        return names[0].value;
    }
    std::string expected;
    for (std::size_t index = 0; index < N; ++index) {
        if (found->is_string() && found->get_ref<const std::string&>() == names[index].name) {
            return names[index].value;
        }
        expected += std::string(index == 0 ? "" : index + 1 == N ? " or " : ", ") + "\"" + names[index].name + "\"";
    }
    fault(member(where, key), "must be " + expected);
}

template <typename Value, std::size_t N>
void writeNamed(json& document, const char* key, Value value, const NamedValue<Value> (&names)[N]) {
    for (const NamedValue<Value>& known : names) {
        if (known.value == value && value != names[0].value) {
            document[key] = known.name;
        }
    }
}
constexpr NamedValue<LegacyIndirectPrimary> kLegacyIndirectPrimaryNames[] = {
    {LegacyIndirectPrimary::Taken, "taken"},
    {LegacyIndirectPrimary::Failed, "failed"},
    {LegacyIndirectPrimary::Ignored, "ignored"},
};
constexpr NamedValue<VirtualModeAware> kVirtualModeAwareNames[] = {
    {VirtualModeAware::Taken, "taken"},
    {VirtualModeAware::Refused, "refused"},
    {VirtualModeAware::RefreshRateRefusedAtApply, "refreshRateRefusedAtApply"},
    {VirtualModeAware::AwareRefusedAtApply, "awareRefusedAtApply"},
};
using VirtualModePaths = SimulatedDisplay::VirtualModePaths;
constexpr NamedValue<VirtualModePaths> kVirtualModePathsNames[] = {
    {VirtualModePaths::Supported, "supported"},
    {VirtualModePaths::Unflagged, "unflagged"},
    {VirtualModePaths::Plain, "plain"},
};

SimulatedMonitor readMonitor(const json& object, const std::string& where) {
    checkKeys(object, where,
              {"edidProductCode", "friendlyName", "devicePath", "edidValid", "targetAdapter", "targetId"});
    SimulatedMonitor monitor;
    monitor.edidProductCode = readNumber<UINT16>(object, "edidProductCode", 0, where);
    monitor.friendlyName = readText(object, "friendlyName", where);
    monitor.devicePath = readText(object, "devicePath", where);
    monitor.edidValid = readBool(object, "edidValid", monitor.edidValid, where);
    monitor.targetAdapter = readOptionalNumber<std::size_t>(object, "targetAdapter", where);
    monitor.targetId = readOptionalNumber<UINT32>(object, "targetId", where);
    return monitor;
}

SimulatedDisplay readDisplay(const json& object, const std::string& where) {
    checkKeys(object, where,
              {"deviceName", "attached", "primary", "x", "y", "width", "height", "monitors", "monitorInfoDeviceName",
               "sourceId", "deviceIndex", "refreshRate", "dynamicRefresh", "monitorInfoPrimary", "virtualModePaths",
               "cloneGroupId"});
    SimulatedDisplay display;
    display.deviceName = readText(object, "deviceName", where);
    display.attached = readBool(object, "attached", display.attached, where);
    display.primary = readBool(object, "primary", display.primary, where);
    display.x = readNumber<LONG>(object, "x", display.x, where);
    display.y = readNumber<LONG>(object, "y", display.y, where);
    display.width = readNumber<DWORD>(object, "width", display.width, where);
    display.height = readNumber<DWORD>(object, "height", display.height, where);
    const json& monitors = readArray(object, "monitors", where);
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        display.monitors.push_back(readMonitor(monitors[i], item(where, "monitors", i)));
    }
    display.monitorInfoDeviceName = readText(object, "monitorInfoDeviceName", where);
    display.sourceId = readOptionalNumber<UINT32>(object, "sourceId", where);
    display.deviceIndex = readOptionalNumber<DWORD>(object, "deviceIndex", where);
    display.refreshRate = readNumber<DWORD>(object, "refreshRate", display.refreshRate, where);
    display.dynamicRefresh = readBool(object, "dynamicRefresh", display.dynamicRefresh, where);
    display.monitorInfoPrimary = readBool(object, "monitorInfoPrimary", display.monitorInfoPrimary, where);
    display.virtualModePaths = readNamed(object, "virtualModePaths", kVirtualModePathsNames, where);
    display.cloneGroupId = readOptionalNumber<UINT16>(object, "cloneGroupId", where);
    return display;
}

SimulatedAdapter readAdapter(const json& object, const std::string& where) {
    checkKeys(object, where, {"name", "hardwareId", "displays", "indirect", "outputTechnology"});
    SimulatedAdapter adapter;
    adapter.name = readText(object, "name", where);
    adapter.hardwareId = readText(object, "hardwareId", where);
    adapter.indirect = readBool(object, "indirect", adapter.indirect, where);
    adapter.outputTechnology = readOptionalNumber<UINT32>(object, "outputTechnology", where);
    const json& displays = readArray(object, "displays", where);
    for (std::size_t i = 0; i < displays.size(); ++i) {
        adapter.displays.push_back(readDisplay(displays[i], item(where, "displays", i)));
    }
    return adapter;
}

PlannedPlugIn readPlugIn(const json& object, const std::string& where) {
    checkKeys(object, where, {"duringPass", "atSecond", "adapter", "relayoutAfterSeconds"});
    const bool byPass = object.contains("duringPass");
    if (byPass == object.contains("atSecond")) {
        fault(where,
              byPass ? "\"duringPass\" and \"atSecond\" exclude each other" : "\"duringPass\" or \"atSecond\" missing");
    }
    if (!object.contains("adapter")) {
        fault(where, "\"adapter\" missing");
    }
    PlannedPlugIn plugIn;
    if (byPass) {
        plugIn.duringPass = readNumber<unsigned>(object, "duringPass", 0, where);
        if (plugIn.duringPass == 0) {
            fault(member(where, "duringPass"), "out of range");
        }
        if (object.contains("relayoutAfterSeconds")) {
            fault(member(where, "relayoutAfterSeconds"), "only with \"atSecond\"");
        }
    } else {
        plugIn.atSecond = readNumber<unsigned>(object, "atSecond", 0, where);
        plugIn.relayoutAfterSeconds = readOptionalNumber<unsigned>(object, "relayoutAfterSeconds", where);
    }
    plugIn.adapter = readAdapter(object.at("adapter"), member(where, "adapter"));
    return plugIn;
}

// The BOOL calls fail with FALSE, the others with any code but success.
PlannedFailure readFailure(const json& object, const std::string& where) {
    checkKeys(object, where, {"call", "occurrence", "result", "lastError"});
    requireKeys(object, where, {"call", "occurrence", "result"});
    const json& name = object.at("call");
    if (!name.is_string()) {
        fault(member(where, "call"), "must be a text");
    }
    const std::optional<DisplayCall> call = displayCallNamed(name.get_ref<const std::string&>());
    if (!call) {
        fault(member(where, "call"), "not one of the display calls");
    }
    PlannedFailure failure;
    failure.call = *call;
    failure.occurrence = readNumber<unsigned>(object, "occurrence", 0, where);
    if (failure.occurrence == 0) {
        fault(member(where, "occurrence"), "out of range");
    }
    failure.result = readNumber<LONG>(object, "result", 0, where);
    if (answersWithBool(failure.call) && failure.result != 0) {
        fault(member(where, "result"), "must be 0 (FALSE) for " + std::string(user32NameOf(failure.call)));
    }
    if (!answersWithBool(failure.call) && failure.result == 0) {
        fault(member(where, "result"), "must not be 0, which is success");
    }
    failure.lastError = readNumber<DWORD>(object, "lastError", 0, where);
    return failure;
}

// The top-level keys that say how this machine's Windows answers; written only when they differ
// from the default, so that files without them stay as they are.
constexpr const char* kDeclinesPrimary = "declinesPrimary";
constexpr const char* kDatabaseEntry = "databaseEntry";
constexpr const char* kLegacyIndirectPrimary = "legacyIndirectPrimary";
constexpr const char* kDisplayPaths = "displayPaths";
constexpr const char* kVirtualModeAware = "virtualModeAware";

constexpr const char* kMonitorsInDeviceOrder = "monitorsInDeviceOrder";
constexpr const char* kSourceModesFirst = "sourceModesFirst";

void readWindowsAnswers(const json& document, SimulatedDesktop& desktop) {
    desktop.declinesPrimary = readBool(document, kDeclinesPrimary, desktop.declinesPrimary, "");
    desktop.databaseEntry = readBool(document, kDatabaseEntry, desktop.databaseEntry, "");
    desktop.legacyIndirectPrimary = readNamed(document, kLegacyIndirectPrimary, kLegacyIndirectPrimaryNames);
    desktop.displayPaths = readBool(document, kDisplayPaths, desktop.displayPaths, "");
    desktop.monitorsInDeviceOrder = readBool(document, kMonitorsInDeviceOrder, desktop.monitorsInDeviceOrder, "");
    desktop.virtualModeAware = readNamed(document, kVirtualModeAware, kVirtualModeAwareNames);
    desktop.sourceModesFirst = readBool(document, kSourceModesFirst, desktop.sourceModesFirst, "");
}

void writeWindowsAnswers(const SimulatedDesktop& desktop, json& document) {
    if (desktop.declinesPrimary) {
        document[kDeclinesPrimary] = true;
    }
    if (!desktop.databaseEntry) {
        document[kDatabaseEntry] = false;
    }
    writeNamed(document, kLegacyIndirectPrimary, desktop.legacyIndirectPrimary, kLegacyIndirectPrimaryNames);
    if (!desktop.displayPaths) {
        document[kDisplayPaths] = false;
    }
    if (desktop.monitorsInDeviceOrder) {
        document[kMonitorsInDeviceOrder] = true;
    }
    writeNamed(document, kVirtualModeAware, desktop.virtualModeAware, kVirtualModeAwareNames);
    if (desktop.sourceModesFirst) {
        document[kSourceModesFirst] = true;
    }
}

std::vector<PlannedFailure> readFailures(const json& document) {
    std::vector<PlannedFailure> failures;
    const json& items = readArray(document, "failures", "");
    for (std::size_t i = 0; i < items.size(); ++i) {
        failures.push_back(readFailure(items[i], item("", "failures", i)));
    }
    return failures;
}

// A time from "fromSecond" up to a later "toSecond", both required.
PlannedSessionLock readInterval(const json& object, const std::string& where) {
    requireKeys(object, where, {"fromSecond", "toSecond"});
    PlannedSessionLock interval;
    interval.fromSecond = readNumber<unsigned>(object, "fromSecond", 0, where);
    interval.toSecond = readNumber<unsigned>(object, "toSecond", 0, where);
    if (interval.toSecond <= interval.fromSecond) {
        fault(member(where, "toSecond"), "must be later than \"fromSecond\"");
    }
    return interval;
}

PlannedSessionLock readSessionLock(const json& object, const std::string& where) {
    checkKeys(object, where, {"fromSecond", "toSecond"});
    return readInterval(object, where);
}

PlannedUnplug readUnplug(const json& object, const std::string& where) {
    checkKeys(object, where, {"atSecond", "adapter"});
    requireKeys(object, where, {"atSecond", "adapter"});
    PlannedUnplug unplug;
    unplug.atSecond = readNumber<unsigned>(object, "atSecond", 0, where);
    if (object["adapter"].is_string()) {
        unplug.adapter = readText(object, "adapter", where);
    } else if (object["adapter"].is_number()) {
        unplug.adapter = readNumber<std::size_t>(object, "adapter", 0, where);
    } else {
        fault(member(where, "adapter"), "must be an adapter's name or index");
    }
    return unplug;
}

PlannedPrimary readUserPrimary(const json& object, const std::string& where) {
    checkKeys(object, where, {"atSecond", "display"});
    requireKeys(object, where, {"atSecond", "display"});
    return PlannedPrimary{readNumber<unsigned>(object, "atSecond", 0, where), readText(object, "display", where)};
}

constexpr NamedValue<AfterSleep> kAfterSleepNames[] = {
    {AfterSleep::Stored, "stored"},
    {AfterSleep::Reset, "reset"},
};

PlannedSleep readSleep(const json& object, const std::string& where) {
    checkKeys(object, where, {"fromSecond", "toSecond", "afterwards", "resumeNotice"});
    const PlannedSessionLock interval = readInterval(object, where);
    PlannedSleep sleep;
    sleep.fromSecond = interval.fromSecond;
    sleep.toSecond = interval.toSecond;
    sleep.afterwards = readNamed(object, "afterwards", kAfterSleepNames, where);
    sleep.resumeNotice = readBool(object, "resumeNotice", sleep.resumeNotice, where);
    return sleep;
}

template <typename Planned, typename Read>
std::vector<Planned> readEach(const json& document, const char* key, Read read) {
    std::vector<Planned> planned;
    const json& items = readArray(document, key, "");
    for (std::size_t i = 0; i < items.size(); ++i) {
        planned.push_back(read(items[i], item("", key, i)));
    }
    return planned;
}

void readDay(const json& document, DesktopFile& file) {
    file.unplugs = readEach<PlannedUnplug>(document, "unplugs", readUnplug);
    file.userPrimary = readEach<PlannedPrimary>(document, "userPrimary", readUserPrimary);
    file.sleeps = readEach<PlannedSleep>(document, "sleeps", readSleep);
    file.sessionEndsAtSecond = readOptionalNumber<unsigned>(document, "sessionEndsAtSecond", "");
}

void writeDay(const DesktopFile& file, json& document) {
    json unplugs = json::array();
    for (const PlannedUnplug& unplug : file.unplugs) {
        const std::u16string* name = std::get_if<std::u16string>(&unplug.adapter);
        unplugs.push_back(json{
            {"atSecond", unplug.atSecond},
            {"adapter", name != nullptr ? json(utf16ToUtf8(*name)) : json(std::get<std::size_t>(unplug.adapter))}});
    }
    json primaries = json::array();
    for (const PlannedPrimary& primary : file.userPrimary) {
        primaries.push_back(json{{"atSecond", primary.atSecond}, {"display", utf16ToUtf8(primary.display)}});
    }
    json sleeps = json::array();
    for (const PlannedSleep& sleep : file.sleeps) {
        json written{{"fromSecond", sleep.fromSecond}, {"toSecond", sleep.toSecond}};
        writeNamed(written, "afterwards", sleep.afterwards, kAfterSleepNames);
        if (!sleep.resumeNotice) {
            written["resumeNotice"] = false;
        }
        sleeps.push_back(written);
    }
    for (auto [key, items] : {std::pair{"unplugs", &unplugs}, {"userPrimary", &primaries}, {"sleeps", &sleeps}}) {
        if (!items->empty()) {
            document[key] = *items;
        }
    }
    if (file.sessionEndsAtSecond) {
        document["sessionEndsAtSecond"] = *file.sessionEndsAtSecond;
    }
}

json failuresToJson(const std::vector<PlannedFailure>& failures) {
    json items = json::array();
    for (const PlannedFailure& failure : failures) {
        items.push_back(json{{"call", std::string(user32NameOf(failure.call))},
                             {"occurrence", failure.occurrence},
                             {"result", failure.result},
                             {"lastError", failure.lastError}});
    }
    return items;
}

json monitorToJson(const SimulatedMonitor& monitor) {
    json result{{"edidProductCode", monitor.edidProductCode},
                {"friendlyName", utf16ToUtf8(monitor.friendlyName)},
                {"devicePath", utf16ToUtf8(monitor.devicePath)}};
    if (!monitor.edidValid) {
        result["edidValid"] = false;
    }
    if (monitor.targetAdapter) {
        result["targetAdapter"] = *monitor.targetAdapter;
    }
    if (monitor.targetId) {
        result["targetId"] = *monitor.targetId;
    }
    return result;
}

json displayToJson(const SimulatedDisplay& display) {
    json monitors = json::array();
    for (const SimulatedMonitor& monitor : display.monitors) {
        monitors.push_back(monitorToJson(monitor));
    }
    json result{{"deviceName", utf16ToUtf8(display.deviceName)},
                {"attached", display.attached},
                {"primary", display.primary},
                {"x", display.x},
                {"y", display.y},
                {"width", display.width},
                {"height", display.height},
                {"monitors", monitors}};
    if (!display.monitorInfoDeviceName.empty()) {
        result["monitorInfoDeviceName"] = utf16ToUtf8(display.monitorInfoDeviceName);
    }
    if (display.sourceId) {
        result["sourceId"] = *display.sourceId;
    }
    if (display.deviceIndex) {
        result["deviceIndex"] = *display.deviceIndex;
    }
    if (display.refreshRate != SimulatedDisplay{}.refreshRate) {
        result["refreshRate"] = display.refreshRate;
    }
    if (display.dynamicRefresh) {
        result["dynamicRefresh"] = true;
    }
    if (display.monitorInfoPrimary) {
        result["monitorInfoPrimary"] = true;
    }
    writeNamed(result, "virtualModePaths", display.virtualModePaths, kVirtualModePathsNames);
    if (display.cloneGroupId) {
        result["cloneGroupId"] = *display.cloneGroupId;
    }
    return result;
}

json adapterToJson(const SimulatedAdapter& adapter) {
    json displays = json::array();
    for (const SimulatedDisplay& display : adapter.displays) {
        displays.push_back(displayToJson(display));
    }
    json result{
        {"name", utf16ToUtf8(adapter.name)}, {"hardwareId", utf16ToUtf8(adapter.hardwareId)}, {"displays", displays}};
    if (adapter.indirect) {
        result["indirect"] = true;
    }
    if (adapter.outputTechnology) {
        result["outputTechnology"] = *adapter.outputTechnology;
    }
    return result;
}

// Source ids are one adapter's, target ids one target adapter's: each may name one display device or
// monitor only, and a target adapter must be one of the desktop's adapters.
void checkIds(const std::vector<SimulatedAdapter>& adapters) {
    std::set<std::pair<std::size_t, UINT32>> sources;
    std::set<std::pair<std::size_t, UINT32>> targets;
    for (std::size_t adapter = 0; adapter < adapters.size(); ++adapter) {
        const std::string adapterPlace = item("", "adapters", adapter);
        UINT32 counted = 0;
        for (std::size_t source = 0; source < adapters[adapter].displays.size(); ++source) {
            const SimulatedDisplay& display = adapters[adapter].displays[source];
            const std::string place = item(adapterPlace, "displays", source);
            if (!sources.insert({adapter, display.sourceId.value_or(static_cast<UINT32>(source))}).second) {
                fault(member(place, "sourceId"), "another display device of the adapter has this source id");
            }
            for (std::size_t index = 0; index < display.monitors.size(); ++index) {
                const SimulatedMonitor& monitor = display.monitors[index];
                const std::string monitorPlace = item(place, "monitors", index);
                const std::size_t targetAdapter = monitor.targetAdapter.value_or(adapter);
                if (targetAdapter >= adapters.size()) {
                    fault(member(monitorPlace, "targetAdapter"), "out of range");
                }
                const UINT32 position = counted++;
                if (!targets.insert({targetAdapter, monitor.targetId.value_or(position)}).second) {
                    fault(member(monitorPlace, "targetId"), "another monitor of the target adapter has this target id");
                }
            }
        }
    }
}

// Two display devices that show one rectangle are a clone across adapters, which Windows makes of
// screens that duplicate each other on different adapters; any other two share no point.
bool overlap(const SimulatedDisplay& a, const SimulatedDisplay& b) {
    const auto spans = [](std::int64_t from, DWORD length, std::int64_t otherFrom, DWORD otherLength) {
        return from < otherFrom + otherLength && otherFrom < from + length;
    };
    const bool clone = a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    return !clone && spans(a.x, a.width, b.x, b.width) && spans(a.y, a.height, b.y, b.height);
}

// Windows shows one primary display at most, and no two display devices on one spot of the desktop
// but a clone.
void checkLayout(const std::vector<SimulatedAdapter>& adapters) {
    std::vector<std::pair<std::string, const SimulatedDisplay*>> shown;
    std::optional<std::string> primary;
    for (std::size_t adapter = 0; adapter < adapters.size(); ++adapter) {
        for (std::size_t source = 0; source < adapters[adapter].displays.size(); ++source) {
            const SimulatedDisplay& display = adapters[adapter].displays[source];
            const std::string place = item(item("", "adapters", adapter), "displays", source);
            if (!display.attached) {
                continue;
            }
            if (display.primary && primary) {
                fault(member(place, "primary"), *primary + " is primary already");
            }
            if (display.primary) {
                primary = place;
            }
            for (const auto& [otherPlace, other] : shown) {
                if (overlap(display, *other)) {
                    fault(place, "overlaps " + otherPlace);
                }
            }
            shown.emplace_back(place, &display);
        }
    }
}

// Fails where a display device of `added` (at `where` in the file) has the name of one in `present` or
// of another of its own.
void requireUniqueNames(const std::vector<SimulatedAdapter>& present, const SimulatedAdapter& added,
                        const std::string& where, const std::string& when) {
    std::set<std::u16string> names;
    for (const SimulatedAdapter& adapter : present) {
        for (const SimulatedDisplay& display : adapter.displays) {
            names.insert(display.deviceName);
        }
    }
    for (std::size_t source = 0; source < added.displays.size(); ++source) {
        const std::u16string& name = added.displays[source].deviceName;
        if (!name.empty() && !names.insert(name).second) {
            fault(member(item(where, "displays", source), "deviceName"), "another display device has this name" + when);
        }
    }
}

std::string atSecond(unsigned second) { return " at second " + std::to_string(second); }

// Whether an attached display device of `adapters` has this name.
bool attachedDisplayNamed(const std::vector<SimulatedAdapter>& adapters, const std::u16string& name) {
    return std::any_of(adapters.begin(), adapters.end(), [&name](const SimulatedAdapter& adapter) {
        return std::any_of(adapter.displays.begin(), adapter.displays.end(), [&name](const SimulatedDisplay& display) {
            return display.attached && display.deviceName == name;
        });
    });
}

// The adapters attached as the day goes on: the plug-ins, unplugs and user's primaries in the order of
// their seconds (at one second in this order, as the window system makes them happen), an adapter
// planned for a pass from the start. Each plug-in's display devices must have names of their own, each
// unplug must find its adapter, and each user's primary an attached display device.
void checkAttachedAdapters(const DesktopFile& file) {
    std::vector<SimulatedAdapter> present;
    for (std::size_t i = 0; i < file.desktop.adapters.size(); ++i) {
        requireUniqueNames(present, file.desktop.adapters[i], item("", "adapters", i), "");
        present.push_back(file.desktop.adapters[i]);
    }
    nameDisplayDevices(present);
    enum class Kind { PlugIn, Unplug, UserPrimary };  // in the order of one second
    struct Event {
        unsigned second;
        Kind kind;
        std::size_t index;
    };
    std::vector<Event> events;
    for (std::size_t i = 0; i < file.plugIns.size(); ++i) {
        events.push_back(Event{file.plugIns[i].atSecond.value_or(0), Kind::PlugIn, i});
    }
    for (std::size_t i = 0; i < file.unplugs.size(); ++i) {
        events.push_back(Event{file.unplugs[i].atSecond, Kind::Unplug, i});
    }
    for (std::size_t i = 0; i < file.userPrimary.size(); ++i) {
        events.push_back(Event{file.userPrimary[i].atSecond, Kind::UserPrimary, i});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.second != b.second ? a.second < b.second : a.kind < b.kind;
    });
    for (const Event& event : events) {
        if (event.kind == Kind::UserPrimary) {
            const PlannedPrimary& primary = file.userPrimary[event.index];
            if (!attachedDisplayNamed(present, primary.display)) {
                fault(member(item("", "userPrimary", event.index), "display"),
                      "no display device of this name is attached" + atSecond(primary.atSecond));
            }
            continue;
        }
        if (event.kind == Kind::PlugIn) {
            const PlannedPlugIn& plugIn = file.plugIns[event.index];
            requireUniqueNames(present, plugIn.adapter, member(item("", "plugIns", event.index), "adapter"),
                               plugIn.atSecond ? atSecond(*plugIn.atSecond) : "");
            present.push_back(plugIn.adapter);
            nameDisplayDevices(present);
            continue;
        }
        const PlannedUnplug& unplug = file.unplugs[event.index];
        const std::string place = member(item("", "unplugs", event.index), "adapter");
        auto found = present.end();
        if (const std::size_t* index = std::get_if<std::size_t>(&unplug.adapter)) {
            if (*index >= present.size()) {
                fault(place, "no adapter " + std::to_string(*index) + atSecond(unplug.atSecond) + ": " +
                                 std::to_string(present.size()) + " are attached then, counted from 0");
            }
            found = present.begin() + static_cast<std::ptrdiff_t>(*index);
        } else {
            const std::u16string& name = std::get<std::u16string>(unplug.adapter);
            found = std::find_if(present.begin(), present.end(),
                                 [&name](const SimulatedAdapter& adapter) { return adapter.name == name; });
            if (found == present.end()) {
                fault(place, "no adapter of this name is attached" + atSecond(unplug.atSecond));
            }
        }
        present.erase(found);
    }
}

// Every second of the day, with its place, in the order of the file.
std::vector<std::pair<unsigned, std::string>> secondsOfTheDay(const DesktopFile& file) {
    std::vector<std::pair<unsigned, std::string>> seconds;
    for (std::size_t i = 0; i < file.plugIns.size(); ++i) {
        if (file.plugIns[i].atSecond) {
            seconds.emplace_back(*file.plugIns[i].atSecond, member(item("", "plugIns", i), "atSecond"));
        }
    }
    for (std::size_t i = 0; i < file.sessionLocked.size(); ++i) {
        seconds.emplace_back(file.sessionLocked[i].fromSecond, member(item("", "sessionLocked", i), "fromSecond"));
        seconds.emplace_back(file.sessionLocked[i].toSecond, member(item("", "sessionLocked", i), "toSecond"));
    }
    for (std::size_t i = 0; i < file.unplugs.size(); ++i) {
        seconds.emplace_back(file.unplugs[i].atSecond, member(item("", "unplugs", i), "atSecond"));
    }
    for (std::size_t i = 0; i < file.userPrimary.size(); ++i) {
        seconds.emplace_back(file.userPrimary[i].atSecond, member(item("", "userPrimary", i), "atSecond"));
    }
    for (std::size_t i = 0; i < file.sleeps.size(); ++i) {
        seconds.emplace_back(file.sleeps[i].fromSecond, member(item("", "sleeps", i), "fromSecond"));
        seconds.emplace_back(file.sleeps[i].toSecond, member(item("", "sleeps", i), "toSecond"));
    }
    return seconds;
}

// A sleeping PC neither sleeps again nor is locked or unlocked, and its user changes no primary; a
// locked session's user neither, also at the second of the unlock, which comes after that second's
// events. Nothing of the day comes at or after the sign-out.
void checkTheDay(const DesktopFile& file) {
    if (file.sessionEndsAtSecond) {
        for (const auto& [second, place] : secondsOfTheDay(file)) {
            if (second >= *file.sessionEndsAtSecond) {
                fault(place,
                      "must be before \"sessionEndsAtSecond\" (" + std::to_string(*file.sessionEndsAtSecond) + ")");
            }
        }
    }
    for (std::size_t i = 0; i < file.sleeps.size(); ++i) {
        const PlannedSleep& sleep = file.sleeps[i];
        const auto asleep = [&sleep](unsigned second) { return sleep.fromSecond < second && second < sleep.toSecond; };
        const std::string during = ": the PC sleeps then (" + item("", "sleeps", i) + ")";
        for (std::size_t j = 0; j < i; ++j) {
            if (file.sleeps[j].fromSecond < sleep.toSecond && sleep.fromSecond < file.sleeps[j].toSecond) {
                fault(member(item("", "sleeps", i), "fromSecond"), "overlaps " + item("", "sleeps", j));
            }
        }
        for (std::size_t j = 0; j < file.sessionLocked.size(); ++j) {
            for (const auto& [second, key] : {std::pair{file.sessionLocked[j].fromSecond, "fromSecond"},
                                              std::pair{file.sessionLocked[j].toSecond, "toSecond"}}) {
                if (asleep(second)) {
                    fault(member(item("", "sessionLocked", j), key), "cannot be" + during);
                }
            }
        }
        for (std::size_t j = 0; j < file.userPrimary.size(); ++j) {
            if (asleep(file.userPrimary[j].atSecond)) {
                fault(member(item("", "userPrimary", j), "atSecond"), "cannot be" + during);
            }
        }
    }
    for (std::size_t i = 0; i < file.sessionLocked.size(); ++i) {
        const PlannedSessionLock& lock = file.sessionLocked[i];
        for (std::size_t j = 0; j < file.userPrimary.size(); ++j) {
            const unsigned second = file.userPrimary[j].atSecond;
            if (lock.fromSecond <= second && second <= lock.toSecond) {
                fault(member(item("", "userPrimary", j), "atSecond"),
                      std::string("cannot be: the session is ") +
                          (second < lock.toSecond ? "locked then (" : "back only after the events of that second (") +
                          item("", "sessionLocked", i) + ")");
            }
        }
    }
}

// "line L, column C" of the byte at `offset`, counting from 0: columns count characters, as an editor
// shows them.
std::string lineAndColumn(const std::string& text, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < std::min(offset, text.size()); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {  // not a UTF-8 continuation
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Fails with the place of a syntax error: where the parser stopped (the last character it read, or
// the end of the text; the parse error counts its bytes from 1), and what it met there and expected.
json parseJson(const std::string& text) {
    try {
        return json::parse(text);
    } catch (const json::parse_error& error) {
        const std::string what = error.what();  // "[...] parse error at ...: syntax error while parsing X - why"
        const std::size_t why = what.find(" - ");
        fault("desktop", "not JSON at " + lineAndColumn(text, error.byte - 1) + ": " +
                             (why == std::string::npos ? what : what.substr(why + 3)));
    }
}

}  // namespace

void nameDisplayDevices(std::vector<SimulatedAdapter>& adapters) {
    std::set<std::u16string> taken;
    for (const SimulatedAdapter& adapter : adapters) {
        for (const SimulatedDisplay& display : adapter.displays) {
            taken.insert(display.deviceName);
        }
    }
    const auto nameOf = [](std::size_t number) {
        const std::string digits = std::to_string(number);
        return u"\\\\.\\DISPLAY" + std::u16string(digits.begin(), digits.end());
    };
    std::size_t number = 0;
    for (SimulatedAdapter& adapter : adapters) {
        for (SimulatedDisplay& display : adapter.displays) {
            ++number;
            if (!display.deviceName.empty()) {
                continue;
            }
            std::u16string name = nameOf(number);
            for (std::size_t free = 1; taken.count(name) != 0; ++free) {
                name = nameOf(free);
            }
            taken.insert(name);
            display.deviceName = name;
        }
    }
}

DesktopFile parseDesktop(const std::string& bytes) {
    std::string text;
    try {
        text = textFileAsUtf8(bytes);
    } catch (const std::runtime_error& error) {
        fault("desktop", error.what());
    }
    const json document = parseJson(text);
    checkKeys(document, "",
              {"adapters", "plugIns", "failures", kDeclinesPrimary, kDatabaseEntry, kLegacyIndirectPrimary,
               kDisplayPaths, "sessionLocked", "remoteSession", kMonitorsInDeviceOrder, kVirtualModeAware, "unplugs",
               "userPrimary", "sleeps", "sessionEndsAtSecond", kSourceModesFirst});
    if (!document.contains("adapters")) {
        fault("desktop", "\"adapters\" missing");
    }
    DesktopFile file;
    const json& adapters = readArray(document, "adapters", "");
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        file.desktop.adapters.push_back(readAdapter(adapters[i], item("", "adapters", i)));
    }
    checkIds(file.desktop.adapters);
    checkLayout(file.desktop.adapters);
    const json& plugIns = readArray(document, "plugIns", "");
    for (std::size_t i = 0; i < plugIns.size(); ++i) {
        file.plugIns.push_back(readPlugIn(plugIns[i], item("", "plugIns", i)));
    }
    file.failures = readFailures(document);
    readWindowsAnswers(document, file.desktop);
    const json& locks = readArray(document, "sessionLocked", "");
    for (std::size_t i = 0; i < locks.size(); ++i) {
        file.sessionLocked.push_back(readSessionLock(locks[i], item("", "sessionLocked", i)));
    }
    file.remoteSession = readBool(document, "remoteSession", false, "");
    readDay(document, file);
    checkAttachedAdapters(file);
    checkTheDay(file);
    return file;
}

std::string formatDesktop(const DesktopFile& file) {
    json adapters = json::array();
    for (const SimulatedAdapter& adapter : file.desktop.adapters) {
        adapters.push_back(adapterToJson(adapter));
    }
    json document{{"adapters", adapters}};
    writeWindowsAnswers(file.desktop, document);
    if (!file.plugIns.empty()) {
        json plugIns = json::array();
        for (const PlannedPlugIn& plugIn : file.plugIns) {
            plugIns.push_back(
                plugIn.atSecond ? json{{"atSecond", *plugIn.atSecond}, {"adapter", adapterToJson(plugIn.adapter)}}
                                : json{{"duringPass", plugIn.duringPass}, {"adapter", adapterToJson(plugIn.adapter)}});
            if (plugIn.relayoutAfterSeconds) {
                plugIns.back()["relayoutAfterSeconds"] = *plugIn.relayoutAfterSeconds;
            }
        }
        document["plugIns"] = plugIns;
    }
    if (!file.failures.empty()) {
        document["failures"] = failuresToJson(file.failures);
    }
    if (!file.sessionLocked.empty()) {
        json locks = json::array();
        for (const PlannedSessionLock& lock : file.sessionLocked) {
            locks.push_back(json{{"fromSecond", lock.fromSecond}, {"toSecond", lock.toSecond}});
        }
        document["sessionLocked"] = locks;
    }
    if (file.remoteSession) {
        document["remoteSession"] = true;
    }
    writeDay(file, document);
    return document.dump(2) + "\n";
}

DesktopFile readDesktopFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error(path + ": cannot be opened");
    }
    std::ostringstream content;
    content << file.rdbuf();
    try {
        return parseDesktop(content.str());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(path + ": " + error.what());
    }
}

bool writeDesktopFile(const std::string& path, const DesktopFile& file) {
    // Written beside it and renamed over it, which replaces the file in one step: a run ended while it
    // stores a layout leaves the old file or the new one, never part of one.
    const std::string written = path + ".new";
    std::ofstream stream(written, std::ios::binary | std::ios::trunc);
    stream << formatDesktop(file);
    stream.close();
    std::error_code error;
    if (stream.fail()) {
        std::filesystem::remove(written, error);
        return false;
    }
    std::filesystem::rename(written, path, error);
    if (error) {
        std::filesystem::remove(written, error);
        return false;
    }
    return true;
}

}  // namespace orvi::simulation
