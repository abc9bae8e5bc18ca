// Every test starts from a fresh sim world.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim.h"

namespace kv::test {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
    void TearDown() override { sim::reset(); }
    sim::World& world() { return sim::world(); }
};

// The stored text of a REG_SZ value without its terminating NUL.
inline std::string stored_text(const sim::Value& v) {
    std::string s = v.data;
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

}  // namespace kv::test
