#pragma once
// The label table of a variant: one text per alternative, in the order of the alternatives,
// naming the alternative in its JSON form «{"label":...}».

#include <initializer_list>
#include <string>
#include <vector>

namespace Serialize {

class Labels {
public:
    explicit Labels(std::initializer_list<std::string> labels) : labels_(labels) {}

    // The label of the alternative at index; an index beyond the table throws
    // Serialize::Exceptions::MissingLabel with At_ = index.
    const std::string& get(unsigned int index) const;
    std::size_t size() const { return labels_.size(); }

private:
    std::vector<std::string> labels_;
};

} // namespace Serialize
