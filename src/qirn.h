// Shared records, enumerations and the run state of qirn.
//
// Every stage works on one operation graph: one `opnode` per traced operation,
// stored per processor in program order, plus the `sentinel` that stands for the
// initial state of memory. Stages communicate only through `state`, which
// `reset_run_state` returns to its start-up values.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "graph/arc_index.h"

using int_t = std::int32_t;
using char_t = char;

// RMW: an atomic read-modify-write of one address, one node that is both a
// load and a store.
enum op_type_t : int_t { LOAD, STORE, SYNC, OPEND, FENCE, RMW };
enum MCM_t : int_t { SC, PC, RC, ScC, TSO, PSO, WMO };

// The model's name as the command line takes it.
const char* model_name(MCM_t model);
enum ORDER_t : int_t { TO, LO, Wt, Co, IO, RO, Syn, TCo };

struct opnode;

// A forward arc in the `pointTo` list of its source `bptr`. The list is doubly
// linked so that deletion does not walk it; the order of cells is what counts.
struct oparc {
  opnode* nptr = nullptr;
  opnode* bptr = nullptr;
  ORDER_t order = TO;
  oparc* nxtarc = nullptr;
  oparc* prvarc = nullptr;
};

// A reverse arc kept at its owner `bptr`, naming a node `nptr` that must precede it.
struct roparc {
  opnode* nptr = nullptr;
  opnode* bptr = nullptr;
  ORDER_t order = TO;
  roparc* nxtarc = nullptr;
};

// One load that reads a store, named by processor and sequence number.
struct ldnode {
  int_t ld[2] = {0, 0};
  ldnode* nxtld = nullptr;
};

struct map_ld_t {
  int_t n_ld = 0;
  ldnode* fstld = nullptr;
};

struct opnode {
  op_type_t optype = OPEND;
  int_t proc_num = 0;
  int_t seq_num = 0;
  int_t addr = 0;
  int_t val = 0;
  int_t pointed = 0;
  int_t map_st[2] = {0, 0};
  map_ld_t map_ld;
  int_t* upw = nullptr;  // NPROCESSOR entries, -3 until computed
  int_t* lpw = nullptr;  // NPROCESSOR entries, -3 until computed
  oparc* pointTo = nullptr;
  roparc* pointFrom = nullptr;
  opnode* nxt = nullptr;
  opnode* pre = nullptr;
  opnode* mapAcquire = nullptr;
  opnode* mapRelease = nullptr;
  // The dense number of the node's address among the addresses the trace uses
  // (loads and stores), or of its lock among the acquired locks; -1 for a
  // release of a lock that is never acquired. Tables per address or lock are
  // indexed by it, so they stay as small as the set actually used.
  int_t column = 0;
  int_t scanIndex = 0;
  int_t inSync = 0;
  int_t timesOfChosen = 0;
  // Storage helpers: the last cell of `pointTo`, and a dense index over all
  // nodes (the sentinel last) used by mark sets and the arc index.
  oparc* pointToTail = nullptr;
  int_t id = 0;
  // The value an RMW read; its `val` is the value it wrote.
  int_t readVal = 0;
};

// The scan table: at row k, every processor's lower and upper bound at scan
// k, rows stored one after another. Row 0 is all zeros.
class ScanTable {
 public:
  // Row 0 alone, for `width` processors.
  void start(int_t width) {
    width_ = width;
    lbs_.assign(static_cast<std::size_t>(width), 0);
    ubs_.assign(static_cast<std::size_t>(width), 0);
  }
  // Room for rows up to and including row k, so that filling them copies
  // nothing.
  void reserve(int_t k) {
    const std::size_t size = (static_cast<std::size_t>(k) + 1) * static_cast<std::size_t>(width_);
    lbs_.reserve(size);
    ubs_.reserve(size);
  }
  // Rows of zeros up to and including row k.
  void extend_to(int_t k) {
    const std::size_t size = (static_cast<std::size_t>(k) + 1) * static_cast<std::size_t>(width_);
    if (lbs_.size() >= size) return;
    lbs_.resize(size, 0);
    ubs_.resize(size, 0);
  }
  int_t lb(int_t k, int_t p) const { return lbs_[at(k, p)]; }
  int_t ub(int_t k, int_t p) const { return ubs_[at(k, p)]; }
  void set(int_t k, int_t p, int_t lb, int_t ub) {
    lbs_[at(k, p)] = lb;
    ubs_[at(k, p)] = ub;
  }

 private:
  std::size_t at(int_t k, int_t p) const {
    return static_cast<std::size_t>(k) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(p);
  }
  int_t width_ = 0;
  std::vector<int_t> lbs_;
  std::vector<int_t> ubs_;
};

// The begin and end times that a one-file trace may give an operation.
struct OperationTimes {
  std::optional<std::int64_t> begin;
  std::optional<std::int64_t> end;
};

// An operation read from a one-file trace (`--trace`), held from the read
// that counts the operations until the graph has a node for it, with the
// line it came from.
struct HeldOperation {
  op_type_t optype = OPEND;
  int_t addr = 0;
  int_t val = 0;
  int_t readVal = 0;
  std::int64_t line = 0;
  OperationTimes times;
};

// Arc cells are pooled; `index` maps (source, target, order) to the live cell so
// that duplicate tests and deletions cost no list walk.
struct ArcStorage {
  std::deque<oparc> cells;
  std::vector<oparc*> freeCells;
  ArcIndex index;
  std::deque<roparc> reverseCells;
};

// A cycle as the verifier reports it: nodes[0], then for every i > 0 the tag
// tags[i - 1] and nodes[i]. Each tag names the order from nodes[i] to
// nodes[i - 1]; the printed arrows point back along the cycle. The last node
// is the first one again.
struct FoundCycle {
  std::vector<const opnode*> nodes;
  std::vector<ORDER_t> tags;
};

// What the run has printed as its verdict so far.
enum class Verdict { None, Pass, Violation };

// The printed line that decides the verdict: the last line that says there is
// a violation; else the header of a printed cycle; else the last line that
// says there is none. Empty while no such line has been printed.
struct VerdictLine {
  enum class Kind { None, Pass, Cycle, Violation };  // weakest first
  std::string text;
  Kind kind = Kind::None;
};

// Why a run stopped: bad input or a file that cannot be used, a violation
// proven on the way, or a limit or failed check of qirn itself.
enum class StopKind { Input, Violation, Internal };

struct RunState {
  // Run settings (command line).
  MCM_t MC = ScC;
  int_t NPROCESSOR = 16;
  int_t NOPLIST = 625;
  int_t isBase = 0;
  std::string QIRNTFRES = "tfres";
  std::string QIRNBOUND = "boundgt";
  std::string traceFile;  // --trace: the whole run in one file; empty for trace files
  // A one-file trace handed over in memory; `traceFile` then only names it.
  bool traceInMemory = false;
  std::string traceText;
  std::string MM_CONF = "mm.xml";
  int_t threads = 0;  // --threads; 0 for every core available
  std::string ofile = "output_result";
  FILE* OFILE = nullptr;
  // Where the run writes its report (standard output, or the file of -o) and
  // its messages; a caller of the library points both at memory.
  FILE* out = stdout;
  FILE* err = stderr;

  // The operation graph.
  std::vector<int_t> procOpNum;
  std::vector<std::vector<HeldOperation>> heldOperations;  // per processor, --trace only
  // Per processor and sequence number, the times of a one-file trace; empty
  // when no operation has any.
  std::vector<std::vector<OperationTimes>> operationTimes;
  std::vector<std::vector<opnode>> graph;
  opnode sentinel;
  std::vector<int_t> windowStore;  // backs every node's `upw` and `lpw`
  int_t nodeCount = 0;             // nodes in `graph`; the sentinel's id
  int_t addrNum = -1;              // largest address + 1
  int_t lockNum = -1;              // largest acquired lock + 1
  int_t addrColumns = 0;           // distinct addresses used
  int_t lockColumns = 0;           // distinct locks acquired
  bool hasRmw = false;             // some operation is an RMW

  // Time bounds.
  int_t NSCAN = 0;
  std::vector<int_t> numOfScan;
  ScanTable scan;
  // Rows each bound file actually wrote (0 and -1 when it wrote none), and
  // for every node, by id, the first written scan by which it had completed
  // (0 when none did).
  std::vector<int_t> firstScanRow;
  std::vector<int_t> lastScanRow;
  std::vector<int_t> completionScan;

  // Lock sessions: first accesses per processor and column (-1 for none).
  std::vector<std::vector<int_t>> firstWrite;
  std::vector<std::vector<int_t>> firstRead;
  std::vector<std::vector<int_t>> firstSync;

  // Scope-consistency frontier search.
  std::vector<opnode*> lastop;
  std::vector<std::vector<opnode*>> syncInP;
  std::vector<int_t> lastOpOfProc;
  int_t lastOpLoc = -1;
  int_t exp_i = 0;
  // Choices, and arcs walked by its path tests, after which the search is
  // abandoned when another procedure already has the verdict.
  int_t exp_limit = std::numeric_limits<int_t>::max();
  std::int64_t walkSteps = 0;
  std::int64_t walkLimit = std::numeric_limits<std::int64_t>::max();

  // The last cycle reported as a violation; empty when none was.
  FoundCycle lastCycle;
  // With --exit-code the exit status tells the verdict, and a usage error;
  // --json writes the verdict to `jsonFile`.
  bool verdictStatus = false;
  std::string jsonFile;
  bool usageError = false;
  bool stoppedByOptions = false;  // help, the version or a rejected model
  Verdict verdict = Verdict::None;
  VerdictLine verdictLine;
  // A fatal stop: its message, why, and the input file and line it names.
  std::string stopMessage;
  StopKind stopKind = StopKind::Input;
  std::string stopFile;
  std::int64_t stopLine = 0;
  // What a failed internal check means, in words; its message names only the
  // check's historical unit and line.
  const char* stopMeaning = nullptr;
  // The input file being read, and its line (0 before the first): a stop on
  // bad input names them when --exit-code is given. Empty between reads.
  std::string readingFile;
  std::int64_t readingLine = 0;

  // Cells owned by the graph.
  ArcStorage arcs;
  std::deque<ldnode> ldCells;
};

// The run state of the check running on this thread. A thread that has
// bound none gets its own from `reset_run_state`, which every run starts
// with; `RunScope` binds a caller's object for one check, so that checks in
// different threads never share a state.
extern constinit thread_local RunState* state;

class RunScope {
 public:
  explicit RunScope(RunState& run) : previous_(state) { state = &run; }
  ~RunScope() { state = previous_; }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

 private:
  RunState* previous_;
};

// Thrown when the frontier search has spent its limits (`exp_limit`,
// `walkLimit`).
struct SearchAbandoned {};

// Returns every setting, table and cell pool to its start-up value.
void reset_run_state();

// Records a printed verdict line: a violation stays a violation, whatever
// the lines after it say.
inline void note_verdict(bool violation) {
  if (violation || state->verdict == Verdict::None)
    state->verdict = violation ? Verdict::Violation : Verdict::Pass;
}

// Records a printed line of the given kind, which decides the verdict unless
// a line of a stronger kind came before it.
inline void note_verdict_line(const char* text, VerdictLine::Kind kind) {
  if (kind >= state->verdictLine.kind) state->verdictLine = {text, kind};
}

// Prints a verdict line and records it and its verdict.
inline void print_verdict(bool violation, const char* line) {
  std::fprintf(state->out, "%s\n", line);
  note_verdict_line(line, violation ? VerdictLine::Kind::Violation : VerdictLine::Kind::Pass);
  note_verdict(violation);
}

// Whether the run's model is one of the lock-based ones, RC or ScC.
inline bool is_lock_model() {
  return state->MC == RC || state->MC == ScC;
}

// The node of processor p, sequence number s.
inline opnode* node_at(int_t p, int_t s) {
  return &state->graph[p][s];
}

// A load, a store or an RMW, not a lock operation or a fence.
inline bool is_access(const opnode* u) {
  return u->optype == LOAD || u->optype == STORE || u->optype == RMW;
}
// A load or an RMW: it reads a value of its address.
inline bool reads_memory(const opnode* u) {
  return u->optype == LOAD || u->optype == RMW;
}
// A store or an RMW: it writes a value to its address.
inline bool writes_memory(const opnode* u) {
  return u->optype == STORE || u->optype == RMW;
}
// The value a load or an RMW read.
inline int_t value_read(const opnode* u) {
  return u->optype == RMW ? u->readVal : u->val;
}
inline bool is_acquire(const opnode* u) {
  return u->optype == SYNC && u->val == 0;
}
inline bool is_release(const opnode* u) {
  return u->optype == SYNC && u->val == 1;
}
