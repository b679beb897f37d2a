#include "libs/log/headergenerator.hpp"

#include "libs/log/calendar.hpp"
#include "libs/log/threadid.hpp"

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace Log {
namespace {

struct HeaderTime {
    std::tm fields{};
    std::string offset;
};

// The whole hours between local time and UTC at `now`, truncated toward zero.
long wholeHourOffset(const std::tm& local, std::time_t now) {
    std::tm localAsUtc = local;
    const std::time_t localSeconds = Calendar::fromUtcFields(localAsUtc);
    return static_cast<long>(localSeconds - now) / 3600;
}

HeaderTime convertTime(std::time_t now, bool localTime) {
    HeaderTime result;
    if (!localTime) {
        if (!Calendar::utcFields(now, result.fields)) {
            throw std::runtime_error("could not convert calendar time to UTC time");
        }
        return result;
    }
    if (now < 0) {
        throw std::runtime_error("Cannot convert dates prior to Jan 1, 1970");
    }
    if (!Calendar::localFields(now, result.fields)) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    const long offset = wholeHourOffset(result.fields, now);
    result.offset = (offset >= 0 ? "+" : "") + std::to_string(offset);
    return result;
}

} // namespace

std::string DefaultHeaderGenerator::header(const std::string& name, Level level) const {
    return header(name, level, std::time(nullptr), currentThreadId());
}

std::string DefaultHeaderGenerator::header(const std::string& name, Level level, std::time_t now,
                                           unsigned long threadId) const {
    const HeaderTime time = convertTime(now, localTime_);
    const std::tm& t = time.fields;
    std::ostringstream out;
    out << '[' << std::setw(2) << std::setfill(' ') << t.tm_mday << '.' << std::setw(2)
        << std::setfill('0') << t.tm_mon + 1 << '.' << std::setw(4) << t.tm_year + 1900 << ' '
        << std::setw(2) << t.tm_hour << ':' << std::setw(2) << t.tm_min << ':' << std::setw(2)
        << t.tm_sec << time.offset << "] [" << std::setw(7) << std::setfill(' ')
        << levelHeaderText(level) << "] [" << std::setw(8) << name << "] (" << std::setw(5)
        << threadId << ") ";
    return out.str();
}

} // namespace Log
