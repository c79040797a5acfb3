#pragma once
// A profile table held in memory for the main window tests, counting saves.

#include <vector>

#include "app/ShellServices.h"

namespace sorvane::test {

class TestProfiles final : public ProfileTableAccess {
public:
    bool add(const Profile& p)
    {
        if (int(rows_.size()) >= kCapacity)
            return false;
        rows_.push_back(p);
        return true;
    }
    int profileCount() const override { return int(rows_.size()); }
    const Profile& profile(int index) const override { return rows_.at(size_t(index)); }
    bool cloneProfile(int index) override { return add(rows_.at(size_t(index))); }
    void deleteProfile(int index) override { rows_.erase(rows_.begin() + index); }
    void saveSettings() override { ++saves; }
    int saves = 0;

private:
    std::vector<Profile> rows_;
};

} // namespace sorvane::test
