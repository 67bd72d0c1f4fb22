// Looking at a test's text: its lines, and how often a part occurs in it.
#pragma once

#include <sstream>
#include <string>
#include <vector>

// The lines of the text without their line feeds; a last line without one counts too.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// How often `part` occurs in the text, overlapping occurrences included.
inline int countOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}
