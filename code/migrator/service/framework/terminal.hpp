#pragma once
// The terminal behind a descriptor of the process: whether there is one, how wide it is, and
// writing to it. The progress line is drawn through these calls.

#include <cstddef>

namespace Migration::Terminal {

// The descriptor of the process's standard error.
int standardError();

// True when the descriptor is open on a terminal (a console). Never throws.
bool isTerminal(int descriptor);

// The terminal's width in columns; 0 when the descriptor is no terminal or its size is
// unknown. Never throws.
std::size_t columns(int descriptor);

// Writes up to count bytes unbuffered; the number written, or 0 or less after a failure (the
// caller decides whether to go on). Never throws.
std::ptrdiff_t write(int descriptor, const char* bytes, std::size_t count);

} // namespace Migration::Terminal
