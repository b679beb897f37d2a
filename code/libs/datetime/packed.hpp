#pragma once
// Packed decimal dates and times: integers that read as the date or time when printed in
// decimal (2024-03-15 12:30:45.678 is 20240315123045678). The service stores its timestamps in
// this form. The sign of a packed value is the sign of its year.

#include <cstdint>

namespace Datetime {

// Broken-down date and time. The unset form is year 0 and -1 in every other field.
struct DateTimeParts {
    std::int32_t year = 0;
    std::int32_t month = -1;
    std::int32_t day = -1;
    std::int32_t hour = -1;
    std::int32_t minute = -1;
    std::int32_t second = -1;
    std::int32_t millisecond = -1;
};

struct TimeParts {
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
};

struct Date;

// YYYYY...MMDDhhmmssfff in a signed 64-bit integer.
struct DateTime {
    static constexpr std::int64_t NoValue = -999999999999999999;
    static constexpr std::int64_t Min = -999990101000000000; // -99999-01-01 00:00:00.000
    static constexpr std::int64_t Max = 999991231235959999; //  99999-12-31 23:59:59.999
    static constexpr std::int64_t Start = 10101000000000; //     0001-01-01 00:00:00.000

    std::int64_t value = NoValue;

    bool hasValue() const { return value != NoValue; }
};

// YYYYY...MMDD in a signed 32-bit integer.
struct PackedDate {
    static constexpr std::int32_t NoValue = -999999999;
    static constexpr std::int32_t Min = -999990101;
    static constexpr std::int32_t Max = 999991231;
    static constexpr std::int32_t Start = 10101;

    std::int32_t value = NoValue;

    bool hasValue() const { return value != NoValue; }
};

// hhmmssfff in a signed 32-bit integer.
struct PackedTime {
    static constexpr std::int32_t NoValue = -999999999;
    static constexpr std::int32_t Min = 0;
    static constexpr std::int32_t Max = 235959999;
    static constexpr std::int32_t Start = 0;

    std::int32_t value = NoValue;

    bool hasValue() const { return value != NoValue; }
};

inline bool operator==(DateTime a, DateTime b) { return a.value == b.value; }
inline bool operator!=(DateTime a, DateTime b) { return a.value != b.value; }
inline bool operator==(PackedDate a, PackedDate b) { return a.value == b.value; }
inline bool operator!=(PackedDate a, PackedDate b) { return a.value != b.value; }
inline bool operator==(PackedTime a, PackedTime b) { return a.value == b.value; }
inline bool operator!=(PackedTime a, PackedTime b) { return a.value != b.value; }

// The packed value, or NoValue when the year, the date or the time fails its check.
DateTime pack(const DateTimeParts& parts);
PackedDate pack(const Date& date);
PackedTime pack(const TimeParts& time);

// The fields read back from the digits (no check); the unset form for NoValue.
DateTimeParts unpack(DateTime packed);
// For NoValue: year 0, month and day -1.
Date unpack(PackedDate packed);
// For NoValue: every field -1.
TimeParts unpack(PackedTime packed);

} // namespace Datetime
