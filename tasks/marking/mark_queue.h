#pragma once

#include <string>
#include <vector>

namespace varnel {

//! An ordered collection of table names keyed by the name itself, keys compared
//! without regard to case. Serves as the work queue (first in, first out) and as
//! the set of processed tables.
class TableNameList {
  public:
    //! Appends the name; False (and nothing added) when the key is there already.
    bool Add(const std::string& name);
    bool Contains(const std::string& name) const;
    //! Removes the name by key; False when it is not there.
    bool Remove(const std::string& name);
    const std::string& First() const { return names_.front(); }
    bool Empty() const { return names_.empty(); }
    std::size_t Size() const { return names_.size(); }
    const std::vector<std::string>& Names() const { return names_; }
    void Clear() { names_.clear(); }

  private:
    std::vector<std::string> names_;
};

}  // namespace varnel
