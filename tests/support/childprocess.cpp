#include "support/childprocess.hpp"

namespace TestSupport {

ChildResult runChild(const std::string& program, const ChildOptions& options) {
    RunningChild child(program, options);
    if (options.inputDescriptor < 0)
        child.write(options.input);
    return child.finish();
}

} // namespace TestSupport
