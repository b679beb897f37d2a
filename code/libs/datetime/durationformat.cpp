#include "libs/datetime/durationformat.hpp"

#include <array>
#include <limits>

namespace Datetime {

namespace {

// Sub-second groups 1 (milli) to 8 (yocto); index 0 stands for whole seconds.
constexpr int groupCount = 9;

const char* const unitPrefixes[groupCount]
    = {"", "milli", "micro", "nano", "pico", "femto", "atto", "zepto", "yocto"};
const char* const unitSymbols[groupCount] = {"s", "ms", "\xCE\xBCs", "ns", "ps", "fs", "as", "zs", "ys"};

std::string padded(std::int64_t v, std::size_t width)
{
    std::string digits = std::to_string(v);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

// Three digits with the trailing zeros removed: 500 gives "5", 50 "05", 5 "005".
std::string trimmedGroup(std::int64_t v)
{
    std::string digits = padded(v, 3);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    return digits;
}

class DurationText {
public:
    DurationText(std::int64_t ticks, const DurationFormat& format)
        : style_(format.style == 0 || format.style == 1 ? format.style : 2), ascii_(format.ascii)
    {
        negative_ = ticks < 0;
        const std::int64_t totalHours = absolute(ticks / 3600000000LL);
        days_ = totalHours / 24;
        hours_ = totalHours % 24;
        minutes_ = absolute((ticks / 60000000LL) % 60);
        seconds_ = absolute((ticks / 1000000LL) % 60);
        const std::int64_t fraction = absolute(ticks % 1000000LL);
        groups_[1] = fraction / 1000;
        groups_[2] = fraction % 1000;
        hasHours_ = days_ != 0 || hours_ != 0;
        hasMinutes_ = hasHours_ || minutes_ != 0;
        hasSeconds_ = hasMinutes_ || seconds_ != 0;
        for (int g = 1; g < groupCount; ++g)
            if (groups_[g] != 0)
                hasFraction_ = true;
    }

    std::string compose()
    {
        if (!hasSeconds_ && !hasFraction_)
            return style_ == 0 ? "00:00:00" : style_ == 1 ? "0:0:0" : "0";
        if (negative_)
            text_ += "-";
        writeClock();
        if (style_ == 2)
            writeShortFraction();
        else
            writeFullFraction();
        return text_;
    }

private:
    static std::int64_t absolute(std::int64_t v) { return v < 0 ? -v : v; }

    void writeComponent(std::int64_t v, const char* separator, std::size_t width, bool skipZero)
    {
        if (started_)
            text_ += pending_;
        else if (v == 0 && skipZero)
            return;
        text_ += padded(v, width);
        started_ = true;
        pending_ = separator;
    }

    void writeClock()
    {
        if (hasMinutes_ || !hasFraction_) {
            if (days_ != 0) {
                text_ += std::to_string(days_);
                started_ = true;
                pending_ = " ";
            }
            const std::size_t width = style_ == 0 ? 2 : 1;
            const bool skipZero = style_ == 2;
            writeComponent(hours_, ":", width, skipZero);
            writeComponent(minutes_, ":", width, skipZero);
            writeComponent(seconds_, ".", width, skipZero);
        } else {
            writeComponent(seconds_, ".", 0, true);
        }
    }

    int firstGroup() const
    {
        for (int g = 1; g < groupCount; ++g)
            if (groups_[g] != 0)
                return g;
        return 0;
    }

    int lastGroup() const
    {
        for (int g = groupCount - 1; g >= 1; --g)
            if (groups_[g] != 0)
                return g;
        return 0;
    }

    void writeUnit(int group)
    {
        if (style_ == 0) {
            text_ += " ";
            text_ += unitPrefixes[group];
            text_ += "second";
        } else if (group == 2 && ascii_) {
            text_ += "us";
        } else {
            text_ += unitSymbols[group];
        }
    }

    void writeShortFraction()
    {
        if (hasHours_)
            return;
        if (hasSeconds_) {
            if (groups_[1] != 0)
                text_ += pending_ + trimmedGroup(groups_[1]);
            if (!hasMinutes_)
                writeUnit(0);
            return;
        }
        const int g = firstGroup();
        text_ += std::to_string(groups_[g]);
        if (g + 1 < groupCount && groups_[g + 1] != 0)
            text_ += "." + trimmedGroup(groups_[g + 1]);
        writeUnit(g);
    }

    // Groups from..last: each before last as three digits, last with its trailing zeros removed.
    void writeGroups(int from, int last)
    {
        for (int g = from; g <= last; ++g)
            text_ += g < last ? padded(groups_[g], 3) : trimmedGroup(groups_[g]);
    }

    void writeFullFraction()
    {
        if (!hasFraction_)
            return;
        const int last = lastGroup();
        if (hasSeconds_) {
            text_ += pending_;
            writeGroups(1, last);
            if (!hasMinutes_)
                writeUnit(0);
            return;
        }
        const int g = firstGroup();
        text_ += std::to_string(groups_[g]);
        if (g != last) {
            text_ += ".";
            writeGroups(g + 1, last);
        }
        writeUnit(g);
    }

    int style_;
    bool ascii_;
    bool negative_ = false;
    std::int64_t days_ = 0;
    std::int64_t hours_ = 0;
    std::int64_t minutes_ = 0;
    std::int64_t seconds_ = 0;
    std::array<std::int64_t, groupCount> groups_{};
    bool hasHours_ = false;
    bool hasMinutes_ = false;
    bool hasSeconds_ = false;
    bool hasFraction_ = false;
    std::string text_;
    std::string pending_;
    bool started_ = false;
};

} // namespace

std::string formatDuration(std::int64_t microseconds, const DurationFormat& format)
{
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    if (microseconds == std::numeric_limits<std::int64_t>::min())
        return "-infinity";
    if (microseconds == largest)
        return "+infinity";
    if (microseconds == largest - 1)
        return "not-a-date-time";
    return DurationText(microseconds, format).compose();
}

std::string formatDuration(const boost::posix_time::time_duration& duration, const DurationFormat& format)
{
    if (duration.is_neg_infinity())
        return "-infinity";
    if (duration.is_pos_infinity())
        return "+infinity";
    if (duration.is_not_a_date_time())
        return "not-a-date-time";
    const std::int64_t perSecond = boost::posix_time::time_duration::ticks_per_second();
    const std::int64_t ticks = duration.ticks();
    return formatDuration(perSecond == 1000000 ? ticks : duration.total_microseconds(), format);
}

} // namespace Datetime
