// Builds a run state from traces written inline, so that a test can run any
// stage in isolation.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qirn.h"

class TraceFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `name`.p for every entry (the file's full text) into the scratch
  // directory and returns the prefix to use for them.
  std::string write_files(const std::string& name, const std::vector<std::string>& texts);

  // Writes the traces, then counts and reads them as a run would: the node
  // arrays, kinds, addresses, values and the address and lock counts. With
  // bounds, the bound files are read too (optimized mode); without, the run is
  // in baseline mode.
  void load(const std::vector<std::string>& traces, MCM_t model = SC,
            const std::vector<std::string>& bounds = {});

  opnode* op(int_t p, int_t s) { return &state.graph[p][s]; }

  std::string scratch_;
};
