#pragma once
// The root of every exception of the system. An exception carries no message of its own: its
// type, its throw location and the typed tags attached to it say what failed, and what() folds
// them into one line of "|"-separated segments for console and log reports.
//
// Throw with the location recorded:
//     BOOST_THROW_EXCEPTION(Files::Exceptions::FileNotOpened() << Files::Exceptions::Filename_(name));
// Enrich on the way up by catching the family, attaching tags and rethrowing the same object:
//     catch (Files::Exceptions::Exception& e) { e << Exceptions::Dirname_(dir); throw; }

#include <boost/exception/exception.hpp>
#include <boost/exception/info.hpp>
#include <boost/throw_exception.hpp>

#include <exception>
#include <string>

namespace Exceptions {

class Exception : public std::exception, public boost::exception {
public:
    Exception() = default;
    // Shares the attached tags and the throw location; the composed text starts empty.
    Exception(const Exception& other);
    Exception& operator=(const Exception&) = delete;
    ~Exception() noexcept override;

    // One line: location segment, type segment, then one "Ns::Tag=value" segment per tag in the
    // tags' name order. Never throws; valid until the next call on this object. A nested call on
    // the same thread while the text is being composed returns the empty text.
    const char* what() const noexcept override;

    // Extra text appended as "error: ..." to what(); empty for every type of the system.
    virtual const char* description() const noexcept;

private:
    mutable std::string composed_;
};

// Tags of the form Ns::Name_ are boost error infos whose tag structure is Ns::Name_Tag; the
// diagnostic text names them Ns::Name.
using Error_ = boost::error_info<struct Error_Tag, std::string>;
using Filename_ = boost::error_info<struct Filename_Tag, std::string>;
using What_ = boost::error_info<struct What_Tag, std::string>;
using SourceFilename_ = boost::error_info<struct SourceFilename_Tag, std::string>;
using DestinationFilename_ = boost::error_info<struct DestinationFilename_Tag, std::string>;
using Dirname_ = boost::error_info<struct Dirname_Tag, std::string>;
using SystemErrorCode_ = boost::error_info<struct SystemErrorCode_Tag, int>;
using SystemErrorDescription_ = boost::error_info<struct SystemErrorDescription_Tag, std::string>;
using WinErrorCode_ = boost::error_info<struct WinErrorCode_Tag, unsigned int>;

// Folds a raw boost diagnostic report into the one-line form of what().
std::string cleanDiagnostic(const std::string& raw);

} // namespace Exceptions
