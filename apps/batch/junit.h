// The batch as JUnit XML, for CI servers that show test results: one test
// case per set.
#pragma once

#include <string>
#include <string_view>

#include "batch/expect.h"
#include "batch/runner.h"
#include "batch/sets.h"
#include "batch/verdict.h"

namespace qirn_batch {

// text for an attribute value or element content: & < > " escaped, tab,
// newline and carriage return as character references, and what XML 1.0
// cannot hold (other control characters, U+FFFE, U+FFFF, bytes that are not
// UTF-8) as U+FFFD.
std::string xml_text(std::string_view text);

// "cd 'PATH' && qirn -p N -m MODEL [-b]": how to run the set's qirn by hand.
std::string reproduce_command(const TraceSet& set, const RunSettings& settings);

class JunitReport {
 public:
  explicit JunitReport(const RunSettings& settings) : settings_(settings) {}

  // Without an expectation, a violation fails and an error or timeout is an
  // error; with one, a verdict that does not meet it fails, and an error or
  // timeout is still an error. Failures and errors carry the reproduce
  // command and, unless it is empty, the qirn-gen command that regenerates
  // the set.
  void add(const TraceSet& set, const Outcome& outcome, const Expectation* expected,
           const std::string& regenerate);

  // The whole document: <testsuites> around one <testsuite name="qirn-batch">.
  std::string text(double seconds) const;

 private:
  RunSettings settings_;
  std::string cases_;
  int tests_ = 0;
  int failures_ = 0;
  int errors_ = 0;
};

}  // namespace qirn_batch
