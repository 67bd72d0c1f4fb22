#include "app/Explain.h"

#include "app/MessageBoxes.h"
#include "platform/ReportOutput.h"

#include <sstream>
#include <string>

namespace orvi {

int runExplain(const Explain& explain, LogFile& logFile, std::ostream& standardOutput) {
    std::ostringstream report;
    const Explained outcome = explain(report);
    const std::string text = report.str();
    if (logFile.isOpen()) {
        logFile.stream() << text << std::flush;
    }
    if (platform::standardOutputRedirected()) {
        standardOutput << text << std::flush;
    } else if (!platform::writeToParentConsole(text)) {
        showInfoBox("SetPrimaryKiv --explain", text.c_str());
    }
    return static_cast<int>(outcome);
}

}  // namespace orvi
