#include "libs/serialize/labels.hpp"

#include "libs/serialize/exceptions.hpp"

namespace Serialize {

const std::string& Labels::get(unsigned int index) const
{
    if (index >= labels_.size())
        BOOST_THROW_EXCEPTION(Exceptions::MissingLabel() << Exceptions::At_(index));
    return labels_[index];
}

} // namespace Serialize
