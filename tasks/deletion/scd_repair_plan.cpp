#include "tasks/deletion/scd_repair_plan.h"

#include <cstddef>
#include <unordered_map>

namespace varnel {

namespace {

// The versions whose date falls on each day, so that a step finds its neighbours
// without walking the whole element (an element may hold very many versions, for
// instance every row whose key is Null).
class VersionsByDay {
  public:
    void Add(const std::optional<std::string>& day, std::size_t version) {
        if (day) days_[*day].push_back(version);
    }

    //! Moves every version of one day to another and returns them; none when the
    //! day is Null.
    std::vector<std::size_t> Move(const std::optional<std::string>& from,
                                  const std::optional<std::string>& to) {
        if (!from) return {};
        auto found = days_.find(*from);
        if (found == days_.end()) return {};
        std::vector<std::size_t> moved = std::move(found->second);
        days_.erase(found);
        if (to) {
            auto& target = days_[*to];
            target.insert(target.end(), moved.begin(), moved.end());
        }
        return moved;
    }

  private:
    std::unordered_map<std::string, std::vector<std::size_t>> days_;
};

}  // namespace

void RepairElement(std::vector<ElementVersion>& versions) {
    VersionsByDay starts, ends;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        versions[i].Repaired = versions[i].Read;
        versions[i].MadeCurrent = false;
        starts.Add(versions[i].Read.Start.Day, i);
        ends.Add(versions[i].Read.End.Day, i);
    }
    for (const auto& marked : versions) {
        if (!marked.Marked) continue;
        // A copy: the marked version may be among the neighbours it moves.
        const VersionPeriod period = marked.Repaired;
        if (!period.Current) {
            for (const std::size_t i : starts.Move(period.End.Day, period.Start.Day))
                versions[i].Repaired.Start = period.Start;
        } else {
            for (const std::size_t i : ends.Move(period.Start.Day, period.End.Day)) {
                versions[i].Repaired.End = period.End;
                versions[i].Repaired.Current = true;
                versions[i].MadeCurrent = true;
            }
        }
    }
}

VersionChange ChangeOf(const ElementVersion& version) {
    VersionChange change;
    change.Start = version.Repaired.Start.Value != version.Read.Start.Value;
    change.End = version.Repaired.End.Value != version.Read.End.Value;
    change.Current = version.MadeCurrent && !version.CurrentIsOne;
    return change;
}

}  // namespace varnel
