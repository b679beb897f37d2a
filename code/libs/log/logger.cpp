#include "libs/log/logger.hpp"

#include "libs/files/failurereport.hpp"
#include "libs/files/paths.hpp"
#include "libs/log/settings.hpp"

namespace Log {
namespace {

Output outputForName(const std::string& fileName) {
    if (fileName.empty() || fileName == "stdout" || fileName == "con") {
        return Output::StdOut;
    }
    if (fileName == "stderr") {
        return Output::StdErr;
    }
    if (fileName == "nul") {
        return Output::None;
    }
    return Output::File;
}

// Appends header, line and "\r\n" for every non-empty line of `text`.
std::string composeLines(const std::string& header, const std::string& text) {
    std::string lines;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            lines.append(header).append(text, start, end - start).append("\r\n");
        }
        start = end + 1;
    }
    return lines;
}

// The receiver of the file operations' failure reports.
void writeFileFailure(const std::string& text) {
    const Logger& logger = mainLogger();
    if (logger.isLevelEnabled(Warn) && logger.isVerbosityEnabled(Debug)) {
        logger.write(Warn, Debug, text);
    }
}

} // namespace

bool isStreamName(const std::string& fileName) {
    return !fileName.empty() && outputForName(fileName) != Output::File;
}

Logger::Logger(MainTag) {
    name_ = "main";
    setFile(std::string(), std::string());
    Files::setFailureReceiver(&writeFileFailure);
}

Logger::Logger() {
    copyFrom(mainLogger());
}

Logger& mainLogger() {
    static Logger logger{Logger::MainTag{}};
    return logger;
}

void Logger::setFile(const std::string& fileName, const std::string& directory) {
    path_ = fileName;
    output_ = outputForName(fileName);
    if (directory.empty() || Files::isAbsolute(fileName)) {
        return;
    }
    path_ = Files::join(directory, fileName);
    try {
        path_ = Files::systemComplete(path_);
    } catch (const std::exception&) {
        // Without a current directory the joined path is the best there is.
    }
}

void Logger::copyFrom(const Logger& other) {
    output_ = other.output_;
    path_ = other.path_;
    name_ = other.name_;
    level_ = other.level_;
    verbosity_ = other.verbosity_;
    localTime_ = other.localTime_;
    performance_ = other.performance_;
}

void Logger::applySettings(const Settings& settings, const std::string& directory) {
    if (!settings.fileName.empty()) {
        setFile(settings.fileName, directory);
    }
    if (settings.level) {
        level_ = *settings.level;
    }
    if (settings.verbosity) {
        verbosity_ = *settings.verbosity;
    }
    if (settings.localTime) {
        localTime_ = *settings.localTime;
    }
    if (settings.performance) {
        performance_ = *settings.performance;
    }
}

bool Logger::isLevelEnabled(const std::optional<Level>& level) const {
    return level && *level <= level_;
}

bool Logger::isVerbosityEnabled(const std::optional<Verbosity>& verbosity) const {
    return verbosity && *verbosity <= verbosity_;
}

void Logger::log(const Entry& entry) const {
    if (!isLevelEnabled(entry.level()) || !isVerbosityEnabled(entry.verbosity())) {
        return;
    }
    const std::string text = entry.text();
    if (text.find_first_not_of('\n') == std::string::npos) {
        return;
    }
    const std::string header = headerGenerator_
                                   ? headerGenerator_->header(name_, *entry.level())
                                   : DefaultHeaderGenerator(localTime_).header(name_, *entry.level());
    writeOutput(composeLines(header, text), output_, path_);
}

void Logger::write(Level level, Verbosity verbosity, const std::string& text) const {
    if (!isLevelEnabled(level) || !isVerbosityEnabled(verbosity)) {
        return;
    }
    Entry entry(verbosity, level);
    entry << text;
    log(entry);
}

} // namespace Log
