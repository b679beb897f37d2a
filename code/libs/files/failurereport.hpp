#pragma once
// Where the file operations report the failures that they do not throw (a deletion that
// failed), so that the files library needs no log. The log's main logger takes the reports
// from its creation on; until a receiver is set they are dropped.

#include <string>

namespace Files {

// Gets the text of one failure report. Must not throw.
using FailureReceiver = void (*)(const std::string& text);

// Sends every later report to receiver; nullptr drops them. Never throws.
void setFailureReceiver(FailureReceiver receiver);

} // namespace Files
