#include "migrator/service/framework/progress.hpp"

#include "migrator/service/framework/terminal.hpp"

#include <boost/filesystem/operations.hpp>

#include <cstdio>
#include <utility>

namespace Migration {

namespace {

const char* const eraseLine = "\r\033[K";

class TerminalSink : public ProgressSink {
public:
    explicit TerminalSink(int descriptor) : descriptor_(descriptor) {}

    void show(const std::string& line) override {
        write(eraseLine + fitted(line));
    }

    void clear() override {
        write(eraseLine);
    }

private:
    // A line wider than the terminal would wrap, and the carriage return would then no longer
    // reach its start. Bytes are counted, so a line of multi-byte characters is cut early.
    std::string fitted(const std::string& line) const {
        const std::size_t columns = Terminal::columns(descriptor_);
        if (columns < 2 || line.size() < columns)
            return line;
        std::size_t length = columns - 1u;
        while (length > 0 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80)
            --length;
        return line.substr(0, length);
    }

    // Progress is a courtesy: a failed or partial write is not retried and not reported.
    void write(const std::string& text) const {
        std::size_t written = 0;
        while (written < text.size()) {
            const std::ptrdiff_t count = Terminal::write(descriptor_, text.data() + written, text.size() - written);
            if (count <= 0)
                return;
            written += static_cast<std::size_t>(count);
        }
    }

    int descriptor_;
};

std::string sizeText(std::uintmax_t size) {
    if (size < 1024)
        return std::to_string(size) + " B";
    const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(size) / 1024;
    std::size_t unit = 0;
    while (value >= 1023.95 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string twoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string elapsedText(std::chrono::seconds elapsed) {
    const long long total = elapsed.count() < 0 ? 0 : static_cast<long long>(elapsed.count());
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const std::string secondsText = twoDigits(total % 60);
    if (hours > 0)
        return std::to_string(hours) + ":" + twoDigits(minutes) + ":" + secondsText;
    return std::to_string(minutes) + ":" + secondsText;
}

std::uintmax_t sizeOf(const std::string& path) {
    boost::system::error_code error;
    const std::uintmax_t size = boost::filesystem::file_size(path, error);
    return error ? 0 : size;
}

} // namespace

std::unique_ptr<ProgressSink> terminalSink(int descriptor) {
    if (!Terminal::isTerminal(descriptor))
        return nullptr;
    return std::make_unique<TerminalSink>(descriptor);
}

std::string progressLine(const std::string& step, const std::string& file, std::uintmax_t size, std::size_t done,
                         std::size_t total, std::chrono::seconds elapsed) {
    return step + ": " + file + " (" + sizeText(size) + "), " + std::to_string(done) + " of " +
           std::to_string(total) + (total == 1 ? " file, " : " files, ") + elapsedText(elapsed);
}

std::string copyProgressLine(const std::string& step, const std::string& file, std::uintmax_t copied,
                             std::uintmax_t size, std::size_t done, std::size_t total, std::chrono::seconds elapsed) {
    return step + ": " + file + " (" + sizeText(copied) + " of " + sizeText(size) + " copied), " +
           std::to_string(done) + " of " + std::to_string(total) + (total == 1 ? " file, " : " files, ") +
           elapsedText(elapsed);
}

std::string waitingLine(const std::string& step, const std::string& file, std::chrono::seconds waited) {
    return step + ": waiting for " + file + ", locked by another program, " + elapsedText(waited);
}

Progress::Progress(std::unique_ptr<ProgressSink> sink, Clock clock)
    : sink_(std::move(sink)), clock_(std::move(clock)) {}

Progress::~Progress() {
    clear();
}

void Progress::setSink(std::unique_ptr<ProgressSink> sink) {
    clear();
    sink_ = std::move(sink);
}

void Progress::beginStep(const std::string& name, std::size_t totalFiles) {
    if (!sink_)
        return;
    clear();
    step_ = name;
    total_ = totalFiles;
    done_ = 0;
    start_ = clock_();
}

void Progress::beginFile(const std::string& name, const std::string& path) {
    if (!sink_)
        return;
    file_ = name;
    size_ = sizeOf(path);
    inFile_ = true;
    copying_ = false;
    showFile(clock_());
}

void Progress::tick() noexcept {
    if (!sink_ || !inFile_)
        return;
    const auto now = clock_();
    if (!due(now))
        return;
    try {
        copying_ = false;
        showFile(now);
    } catch (...) {
    }
}

void Progress::copied(std::uintmax_t bytes) noexcept {
    if (!sink_ || !inFile_)
        return;
    copied_ = bytes;
    copying_ = true;
    const auto now = clock_();
    if (!due(now))
        return;
    try {
        showFile(now);
    } catch (...) {
    }
}

void Progress::waiting(bool firstRetry) noexcept {
    if (!sink_ || !inFile_)
        return;
    const auto now = clock_();
    if (firstRetry)
        waitStart_ = now;
    if (!due(now))
        return;
    try {
        show(waitingLine(step_, file_, std::chrono::duration_cast<std::chrono::seconds>(now - waitStart_)), now);
    } catch (...) {
    }
}

bool Progress::due(std::chrono::steady_clock::time_point now) const {
    return now - lastShown_ >= std::chrono::milliseconds(250);
}

std::size_t Progress::shownTotal() const {
    // The folder may have gained a file since the step counted them.
    return done_ < total_ ? total_ : done_ + 1;
}

void Progress::showFile(std::chrono::steady_clock::time_point now) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - start_);
    show(copying_ ? copyProgressLine(step_, file_, copied_, size_, done_, shownTotal(), elapsed)
                  : progressLine(step_, file_, size_, done_, shownTotal(), elapsed),
         now);
}

void Progress::show(const std::string& line, std::chrono::steady_clock::time_point now) {
    sink_->show(line);
    lastShown_ = now;
    shown_ = true;
}

void Progress::fileDone() {
    ++done_;
    inFile_ = false;
}

void Progress::endStep() {
    clear();
    inFile_ = false;
    step_.clear();
    total_ = 0;
    done_ = 0;
}

void Progress::clear() {
    if (!sink_ || !shown_)
        return;
    sink_->clear();
    shown_ = false;
}

ProgressStep::ProgressStep(Progress& progress, const std::string& name, std::size_t totalFiles)
    : progress_(progress) {
    progress_.beginStep(name, totalFiles);
}

ProgressStep::~ProgressStep() {
    progress_.endStep();
}

} // namespace Migration
