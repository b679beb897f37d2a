#pragma once
// The encoding of the program's console output: its texts are UTF-8 on every platform.

namespace Migration::ConsoleOutput {

// Makes the console show the program's UTF-8 output as such (on Windows it switches the
// console's output code page to UTF-8; POSIX terminals take the bytes as they are). Output
// redirected to a file or pipe keeps its bytes unchanged. Never throws.
void useUtf8();

} // namespace Migration::ConsoleOutput
