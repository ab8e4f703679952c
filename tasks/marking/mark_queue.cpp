#include "tasks/marking/mark_queue.h"

#include <algorithm>
#include <cctype>

namespace varnel {

bool SameTableName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool TableNameList::Contains(const std::string& name) const {
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& n) { return SameTableName(n, name); });
}

bool TableNameList::Add(const std::string& name) {
    if (Contains(name)) return false;
    names_.push_back(name);
    return true;
}

bool TableNameList::Remove(const std::string& name) {
    const auto found = std::find_if(names_.begin(), names_.end(),
                                    [&](const std::string& n) { return SameTableName(n, name); });
    if (found == names_.end()) return false;
    names_.erase(found);
    return true;
}

}  // namespace varnel
