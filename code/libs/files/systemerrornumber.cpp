#include "libs/files/systemerrornumber.hpp"

#include "libs/exceptions/errnodescription.hpp"

namespace Exceptions {

void attachSystemErrorNumber(const boost::exception& e, const SystemErrorNumber& n)
{
    if (n.number == 0)
        return;
    e << SystemErrorCode_(n.number);
    const std::string description = errnoDescription(n.number);
    if (!description.empty())
        e << SystemErrorDescription_(description);
}

} // namespace Exceptions
