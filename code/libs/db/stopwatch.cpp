#include "libs/db/stopwatch.hpp"

#include "libs/datetime/durationformat.hpp"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/exception/get_error_info.hpp>

namespace Sqlite {
namespace {

boost::posix_time::ptime now()
{
    return boost::posix_time::microsec_clock::universal_time();
}

bool isBusyOrLocked(const int* code)
{
    return code && (*code == 5 || *code == 6);
}

} // namespace

Stopwatch::Stopwatch(Callback callback) : callback_(std::move(callback)), start_(now()) {}

Stopwatch::~Stopwatch()
{
    if (!callback_)
        return;
    try {
        callback_(elapsed());
    } catch (...) {
    }
}

boost::posix_time::time_duration Stopwatch::elapsed() const
{
    return now() - start_;
}

std::string Stopwatch::elapsedText() const
{
    return Datetime::formatDuration(elapsed(), Datetime::DurationFormat{2, false});
}

void attachElapsedTime(Exceptions::Exception& exception, const Stopwatch& stopwatch) noexcept
{
    try {
        if (isBusyOrLocked(boost::get_error_info<Exceptions::StatusCode_>(exception))
            && !boost::get_error_info<Exceptions::ElapsedTime_>(exception))
            exception << Exceptions::ElapsedTime_(stopwatch.elapsedText());
    } catch (...) {
    }
}

} // namespace Sqlite
