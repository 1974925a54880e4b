// A brute-force judge of tiny trace sets under the lock-based models, written
// straight from the README section "What the RC and ScC verdicts mean" and
// independent of qirn's own code.
//
// It tries every order of the sessions of each lock and every order of the
// stores of each address, and accepts the set when one choice, with the arcs
// of program order, write-to, initial reads and time, closes no cycle. Its
// running time grows with the factorials of those counts, so keep the sets to
// a few processors of a few operations.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace lock_reference {

enum class Kind { Load, Store, Acquire, Release, Fence, Rmw };

// One trace line: `target` is the address of a load, store or RMW and the
// lock of an acquire or release; `value` is used by accesses only (an RMW's
// is the value it writes, `read` the value it reads). A fence uses neither.
struct Op {
  Kind kind;
  int target;
  int value = 0;
  int read = 0;
};

using Program = std::vector<Op>;

// The two models differ only in how a release is paired with its acquire.
enum class Model { RC, ScC };

// One processor's bound file: `rows[i]` holds LB and UB of scan
// `firstScan + i`. The file says nothing about the scans outside that range.
struct BoundFile {
  int firstScan = 1;
  std::vector<std::pair<int, int>> rows;
};

struct TraceSet {
  std::vector<Program> programs;
  // One file per processor in optimized mode; empty for baseline mode.
  std::vector<BoundFile> bounds;
};

// A session of one processor: the sequence numbers of its acquire and of the
// release that ends it, and its lock.
struct Session {
  int acquire;
  int release;
  int lock;
};

struct Sessions {
  std::vector<Session> list;
  bool orphanRelease = false;  // some release ends no session
};

// The sessions of one processor under `model`, in the order of their
// acquires. Throws std::invalid_argument on what the trace sets of the tests
// never hold: nested sessions under RC, two open sessions of one lock under
// ScC, or an acquire that no release ends.
Sessions find_sessions(const Program& program, Model model);

// Whether scan rows prove that operation `useq` of processor `up` finished
// before operation `vseq` of processor `vp` was issued: some scan that both
// bound files write found the first completed and the second not yet issued.
bool timed_before(const std::vector<BoundFile>& bounds, int up, int useq, int vp, int vseq);

// Whether the set is legal under `model`. Throws std::invalid_argument for
// sessions as above, for two stores of one value to one address, and for
// more than 64 operations.
bool legal(const TraceSet& set, Model model);

}  // namespace lock_reference
