#include "tools/DesktopView.h"

#include "desktopfile/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace orvi::tools {
namespace {

using simulation::SimulatedDisplay;

std::string text(const std::u16string& value) { return simulation::utf16ToUtf8(value); }

std::string monitorNames(const SimulatedDisplay& display) {
    if (display.monitors.empty()) {
        return "(no monitor)";
    }
    std::string names;
    for (const simulation::SimulatedMonitor& monitor : display.monitors) {
        names +=
            (names.empty() ? "" : " + ") + (monitor.friendlyName.empty() ? "(no name)" : text(monitor.friendlyName));
    }
    return names;
}

std::string sizeOf(const SimulatedDisplay& display) {
    return std::to_string(display.width) + " x " + std::to_string(display.height);
}

// Characters, not bytes, so that names beyond ASCII keep the columns straight.
std::size_t characters(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string ascii(const std::string& utf8) {
    std::string result;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
        } else if ((byte & 0xC0) != 0x80) {
            result += '?';
        }
    }
    return result;
}

std::string aligned(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], characters(row[i]));
        }
    }
    std::string result;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - characters(row[i]) + 2, ' ');
            }
        }
        line.erase(line.find_last_not_of(' ') + 1);
        result += line + "\n";
    }
    return result;
}

struct Box {
    std::int64_t left, top, right, bottom;  // inclusive, in characters
    std::string label;
    std::string name;
};

}  // namespace

std::string screenTable(const simulation::DesktopFile& file) {
    std::vector<std::vector<std::string>> rows = {{"#", "device", "monitor", "position", "size", ""}};
    std::size_t number = 0;
    for (const auto& adapter : file.desktop.adapters) {
        for (const SimulatedDisplay& display : adapter.displays) {
            const std::string position =
                display.attached ? "(" + std::to_string(display.x) + ", " + std::to_string(display.y) + ")" : "-";
            const std::string state = !display.attached ? "not attached" : display.primary ? "primary" : "";
            rows.push_back({std::to_string(++number), text(display.deviceName), monitorNames(display), position,
                            display.attached ? sizeOf(display) : "-", state});
        }
    }
    // The day in the order of its seconds; what has no second (a remote session, a plug-in during a
    // pass) first.
    std::vector<std::pair<std::int64_t, std::string>> day;
    if (file.remoteSession) {
        day.emplace_back(-1, "a Remote Desktop session: the display configuration is refused all day");
    }
    for (const simulation::PlannedPlugIn& plugIn : file.plugIns) {
        std::string shows;
        for (const SimulatedDisplay& display : plugIn.adapter.displays) {
            shows += (shows.empty() ? "" : ", ") + monitorNames(display) + " " + sizeOf(display);
        }
        const std::string when = plugIn.atSecond ? "at second " + std::to_string(*plugIn.atSecond)
                                                 : "during pass " + std::to_string(plugIn.duringPass);
        day.emplace_back(plugIn.atSecond ? std::int64_t{*plugIn.atSecond} : -1,
                         "plugged in " + when + ": " +
                             (plugIn.adapter.name.empty() ? "an adapter" : text(plugIn.adapter.name)) +
                             (shows.empty() ? "" : " with " + shows));
    }
    for (const simulation::PlannedSessionLock& lock : file.sessionLocked) {
        day.emplace_back(lock.fromSecond, "locked from second " + std::to_string(lock.fromSecond) + " to " +
                                              std::to_string(lock.toSecond));
    }
    for (const simulation::PlannedUnplug& unplug : file.unplugs) {
        const std::u16string* name = std::get_if<std::u16string>(&unplug.adapter);
        day.emplace_back(
            unplug.atSecond,
            "unplugged at second " + std::to_string(unplug.atSecond) + ": " +
                (name != nullptr ? text(*name) : "adapter " + std::to_string(std::get<std::size_t>(unplug.adapter))));
    }
    for (const simulation::PlannedPrimary& primary : file.userPrimary) {
        day.emplace_back(primary.atSecond, "made primary by the user at second " + std::to_string(primary.atSecond) +
                                               ": " + text(primary.display));
    }
    for (const simulation::PlannedSleep& sleep : file.sleeps) {
        day.emplace_back(sleep.fromSecond,
                         "asleep from second " + std::to_string(sleep.fromSecond) + " to " +
                             std::to_string(sleep.toSecond) +
                             (sleep.afterwards == simulation::AfterSleep::Reset ? ", then the layout is reset" : ""));
    }
    if (file.sessionEndsAtSecond) {
        day.emplace_back(*file.sessionEndsAtSecond,
                         "the session ends at second " + std::to_string(*file.sessionEndsAtSecond));
    }
    std::stable_sort(day.begin(), day.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string result = aligned(rows);
    for (const auto& [second, line] : day) {
        result += line + "\n";
    }
    return result;
}

std::string layoutPicture(const simulation::SimulatedDesktop& desktop, std::size_t width) {
    std::int64_t minX = std::numeric_limits<std::int64_t>::max();
    std::int64_t minY = minX;
    std::int64_t maxX = std::numeric_limits<std::int64_t>::min();
    std::vector<std::pair<std::size_t, const SimulatedDisplay*>> shown;
    std::size_t number = 0;
    for (const auto& adapter : desktop.adapters) {
        for (const SimulatedDisplay& display : adapter.displays) {
            ++number;
            if (display.attached) {
                shown.emplace_back(number, &display);
                minX = std::min<std::int64_t>(minX, display.x);
                minY = std::min<std::int64_t>(minY, display.y);
                maxX = std::max<std::int64_t>(maxX, std::int64_t{display.x} + display.width);
            }
        }
    }
    if (shown.empty()) {
        return {};
    }
    const double columnsPerPixel = static_cast<double>(std::max<std::size_t>(width, 3) - 1) /
                                   static_cast<double>(std::max<std::int64_t>(maxX - minX, 1));
    const auto column = [&](std::int64_t x) { return std::llround(static_cast<double>(x - minX) * columnsPerPixel); };
    const auto row = [&](std::int64_t y) { return std::llround(static_cast<double>(y - minY) * columnsPerPixel / 2); };

    std::vector<Box> boxes;
    std::int64_t columns = 0;
    std::int64_t rows = 0;
    for (const auto& [boxNumber, display] : shown) {
        Box box;
        box.left = column(display->x);
        box.top = row(display->y);
        box.right = std::max<std::int64_t>(column(std::int64_t{display->x} + display->width), box.left + 2);
        box.bottom = std::max<std::int64_t>(row(std::int64_t{display->y} + display->height), box.top + 2);
        box.label = std::to_string(boxNumber) + (display->primary ? " primary" : "");
        box.name = ascii(monitorNames(*display));
        columns = std::max(columns, box.right + 1);
        rows = std::max(rows, box.bottom + 1);
        boxes.push_back(box);
    }

    std::vector<std::string> canvas(static_cast<std::size_t>(rows),
                                    std::string(static_cast<std::size_t>(columns), ' '));
    const auto put = [&](std::int64_t y, std::int64_t x, char c) {
        canvas[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = c;
    };
    // Where an edge crosses another box's edge of the other direction, the two meet in a corner.
    const auto putEdge = [&](std::int64_t y, std::int64_t x, char c) {
        char& cell = canvas[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
        cell = (cell == '-' || cell == '|' || cell == '+') && cell != c ? '+' : c;
    };
    for (const Box& box : boxes) {
        for (std::int64_t y = box.top; y <= box.bottom; ++y) {
            for (std::int64_t x = box.left; x <= box.right; ++x) {
                const bool edgeRow = y == box.top || y == box.bottom;
                const bool edgeColumn = x == box.left || x == box.right;
                if (edgeRow || edgeColumn) {
                    putEdge(y, x, edgeRow && edgeColumn ? '+' : edgeRow ? '-' : '|');
                } else {
                    put(y, x, ' ');
                }
            }
        }
        const auto inside = static_cast<std::size_t>(box.right - box.left - 1);
        const std::string lines[] = {box.label, box.name};
        for (std::size_t i = 0; i < 2 && box.top + 1 + static_cast<std::int64_t>(i) < box.bottom; ++i) {
            const std::string shownText = lines[i].substr(0, inside);
            for (std::size_t j = 0; j < shownText.size(); ++j) {
                put(box.top + 1 + static_cast<std::int64_t>(i), box.left + 1 + static_cast<std::int64_t>(j),
                    shownText[j]);
            }
        }
    }
    std::string result;
    for (std::string& line : canvas) {
        line.erase(line.find_last_not_of(' ') + 1);
        result += line + "\n";
    }
    return result;
}

}  // namespace orvi::tools
