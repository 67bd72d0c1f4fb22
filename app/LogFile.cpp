#include "app/LogFile.h"

#ifdef _MSC_VER
#include <share.h>
#endif

namespace orvi {

std::ofstream& LogFile::open(const std::string& path) {
    stream_.reset();
    constexpr std::ios::openmode appendMode = std::ios::out | std::ios::app;
#ifdef _MSC_VER
    stream_.emplace(path, appendMode, _SH_DENYNO);
#else
    // MinGW's C++ library opens through the C runtime's fopen, which shares the file (deny none).
    stream_.emplace(path, appendMode);
#endif
    return *stream_;
}

LogFile& processLogFile() {
    static LogFile logFile;
    return logFile;
}

}  // namespace orvi
