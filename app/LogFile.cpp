#include "app/LogFile.h"

namespace orvi {

std::ostream& LogFile::open(const std::string& path) {
    opened_.reset();
    opened_ = std::make_unique<Opened>(path);
    if (!opened_->buffer.isOpen()) {
        opened_->stream.setstate(std::ios::badbit);
    }
    return opened_->stream;
}

LogFile& processLogFile() {
    static LogFile logFile;
    return logFile;
}

}  // namespace orvi
