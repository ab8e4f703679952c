#include "tasks/marking/mark_queue.h"

#include <algorithm>

#include "base/text.h"

namespace varnel {

bool TableNameList::Contains(const std::string& name) const {
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& n) { return EqualsIgnoringCase(n, name); });
}

bool TableNameList::Add(const std::string& name) {
    if (Contains(name)) return false;
    names_.push_back(name);
    return true;
}

bool TableNameList::Remove(const std::string& name) {
    const auto found = std::find_if(names_.begin(), names_.end(), [&](const std::string& n) {
        return EqualsIgnoringCase(n, name);
    });
    if (found == names_.end()) return false;
    names_.erase(found);
    return true;
}

}  // namespace varnel
