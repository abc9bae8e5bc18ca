// Every test starts from a fresh sim world.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim.h"
#include "store/grants.h"

namespace kv::test {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
    void TearDown() override { sim::reset(); }
    sim::World& world() { return sim::world(); }
    // From here on a standard user, who cannot write in the program's folder
    // and is granted what the installers grant (their keys made), or nothing
    // at all for a copy that was never installed.
    void standard_user(bool installed = true) {
        world().standard_user = true;
        world().program_dir_read_only = true;
        world().elevated = false;
        if (!installed) return;
        for (const auto& g : store::kUserKeyGrants) {
            sim::make_key(g.key);
            sim::grant(g.key, g.access);
        }
    }
};

// The stored text of a REG_SZ value without its terminating NUL.
inline std::string stored_text(const sim::Value& v) {
    std::string s = v.data;
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

}  // namespace kv::test
