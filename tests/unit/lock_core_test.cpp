// The witness of a lock-model violation without a cycle, held against the
// brute-force reference on random tiny baseline trace sets: the operations it
// keeps must admit no order as a trace set of their own, and leaving out any
// one of them (a session's acquire and release together, a store with its
// loads) must admit one. A legal set has no core.
#include "locks/lock_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "locks/lock_graph.h"
#include "support/lock_model_reference.h"
#include "support/lock_set_fixture.h"
#include "support/lock_trace_sets.h"

namespace {

using lock_reference::Model;
using lock_reference::TraceSet;
using Place = std::pair<int_t, int_t>;  // processor, sequence number

class LockCore : public LockSetFixture {
 protected:
  static TraceSet cut_down(const TraceSet& set, const std::set<Place>& kept) {
    TraceSet cut;
    for (std::size_t p = 0; p < set.programs.size(); ++p) {
      cut.programs.emplace_back();
      for (std::size_t s = 0; s < set.programs[p].size(); ++s) {
        if (kept.count({int_t(p), int_t(s)}) != 0)
          cut.programs.back().push_back(set.programs[p][s]);
      }
    }
    return cut;
  }

  // The places that go together with the operation at `place`: its session's
  // other end, or the loads of a store.
  static std::set<Place> unit_of(const LockGraph& g, const opnode* x) {
    std::set<Place> unit{{x->proc_num, x->seq_num}};
    auto add = [&](int_t id) {
      unit.insert(
          {g.operations[std::size_t(id)]->proc_num, g.operations[std::size_t(id)]->seq_num});
    };
    for (const auto& sessions : g.sessionsOfLock) {
      for (const LockSession& s : sessions) {
        if (s.acquire == x->id || s.release == x->id) {
          add(s.acquire);
          add(s.release);
        }
      }
    }
    for (int_t r : g.readers[std::size_t(x->id)]) add(r);
    return unit;
  }
};

TEST_F(LockCore, AdmitsNoOrderAndNoneOfItsOperationsCanBeLeftOut) {
  int cores = 0;
  for (Model model : {Model::RC, Model::ScC}) {
    const MCM_t mcm = model == Model::RC ? RC : ScC;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
      const TraceSet set =
          lock_reference::in_mode(lock_reference::random_set(model, seed, 5), false);
      const bool legal = lock_reference::legal(set, model);
      load_set(set, mcm);
      const std::optional<FoundCore> core = find_core(mcm);
      ASSERT_EQ(core.has_value(), !legal) << "set " << seed;
      if (!core) continue;
      ++cores;
      std::set<Place> kept;
      for (const opnode* x : core->nodes) kept.insert({x->proc_num, x->seq_num});
      EXPECT_FALSE(lock_reference::legal(cut_down(set, kept), model)) << "set " << seed;
      const LockGraph full = build_lock_graph(mcm);
      for (const opnode* x : core->nodes) {
        std::set<Place> rest = kept;
        for (const Place& place : unit_of(full, x)) rest.erase(place);
        EXPECT_TRUE(lock_reference::legal(cut_down(set, rest), model))
            << "set " << seed << ": G[" << x->proc_num << "][" << x->seq_num
            << "] can be left out\n"
            << lock_reference::files_text(set, false);
      }
    }
  }
  EXPECT_GE(cores, 60);
}

}  // namespace
