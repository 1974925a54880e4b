#include "gen/options.h"

#include <string_view>
#include <vector>

namespace qirn_gen {
namespace {

std::string check_total(const GenConfig& config) {
  const int64_t built = static_cast<int64_t>(config.processors) * config.operations;
  if (built > kMaxTotalOperations) {
    return "processors times operations may be at most " + std::to_string(kMaxTotalOperations);
  }
  if (built + static_cast<int64_t>(kMaxLockViolationLength) * config.lockViolations <=
      kMaxTotalOperations) {
    return {};
  }
  return "processors times operations, plus " + std::to_string(kMaxLockViolationLength) +
         " per lock violation, may be at most " + std::to_string(kMaxTotalOperations);
}

qirn_tools::Value memory_model(MemoryModel& field) {
  return {true, "SC, TSO, PSO or WMO", [&field](const char* text) {
            for (const MemoryModel model :
                 {MemoryModel::SC, MemoryModel::TSO, MemoryModel::PSO, MemoryModel::WMO}) {
              if (std::string_view(text) != model_name(model)) continue;
              field = model;
              return true;
            }
            return false;
          }};
}

}  // namespace

ParsedOptions parse_options(int argc, char** argv) {
  using namespace qirn_tools;
  ParsedOptions parsed;
  GenConfig& c = parsed.config;
  const int32_t kTotal = kMaxTotalOperations;
  const std::vector<Option> table = {
      {'p', {"processors"}, whole(c.processors, 1, 100'000)},
      {'n', {"operations"}, whole(c.operations, 1, kTotal)},
      {'a', {"addresses"}, whole(c.addresses, 1, kTotal)},
      {'l', {"locks"}, whole(c.locks, 0, 1'000'000)},
      {'c', {"lock-share"}, whole(c.lockShare, 0, 100)},
      {'d', {"scan-distance"}, whole(c.scanDistance, 1)},
      {'s', {"seed"}, whole(c.seed, uint64_t{0})},
      {'v', {"violations"}, whole(c.violations, 0)},
      {'t', {"timed-violations"}, whole(c.timedViolations, 0)},
      {'k', {"lock-violations"}, whole(c.lockViolations, 0)},
      {'m', {"model"}, memory_model(c.model)},
      {'\0', {"fences"}, whole(c.fences, 0, 100)},
      {'r', {"rmw"}, whole(c.rmw, 0, 100)},
      {'x', {"rmw-violations"}, whole(c.rmwViolations, 0)},
      {'o', {"output"}, text(c.prefix)},
      {'\0', {"one-file"}, file_name(c.oneFile)},
  };
  parsed.line = parse(argc, argv, table);
  parsed.line.refuse(check_total(c));
  return parsed;
}

std::string usage_text() {
  return "Usage: qirn-gen [OPTIONS]\n"
         "Simulates a multiprocessor run, sequentially consistent or with store buffers,\n"
         "and writes, for each processor N, the trace file PREFIXtfres.N and the bound\n"
         "file PREFIXboundgt.N that qirn reads, and PREFIXmanifest.json: the options,\n"
         "the injections and the verdict each model and mode is sure to give.\n"
         "\n"
         "Options:\n"
         "  -p, --processors NUM     number of processors (default 16, as qirn reads)\n"
         "  -n, --operations NUM     loads and stores per processor; every lock session\n"
         "                           adds its acquire and release (default 20)\n"
         "  -a, --addresses NUM      addresses 0 to NUM-1 (default 4)\n"
         "  -l, --locks NUM          locks 0 to NUM-1; 0 gives no lock sessions (default 1)\n"
         "  -c, --lock-share PCT     percentage of loads and stores inside lock sessions\n"
         "                           (default 40)\n"
         "  -d, --scan-distance NUM  clock ticks between two scans (default 8); every\n"
         "                           operation takes three ticks: issue, effect, completion\n"
         "                           (a store under TSO, PSO and WMO four: issue, entering\n"
         "                           the buffer, drain, completion)\n"
         "  -s, --seed NUM           seed; the same seed gives the same files (default 1)\n"
         "  -v, --violations NUM     loads made to return an older value of their address\n"
         "                           (default 0); under TSO, PSO and WMO only loads whose\n"
         "                           processor stored to their address before them, given\n"
         "                           0 or a value it stored before its latest such store,\n"
         "                           which every model forbids\n"
         "  -t, --timed-violations NUM\n"
         "                           loads made to return a value that a scan proves\n"
         "                           overwritten before the load was issued (default 0;\n"
         "                           taken only when -v injects nothing)\n"
         "  -k, --lock-violations NUM\n"
         "                           sessions added on two processors so that a load in\n"
         "                           one returns a value that an earlier session of its\n"
         "                           lock overwrote (default 0; none without two\n"
         "                           processors, a lock and two addresses)\n"
         "  -m, --model NAME         SC, TSO, PSO or WMO (default SC). Under TSO a store\n"
         "                           waits in its processor's FIFO store buffer and\n"
         "                           drains to memory in program order, at a tick drawn\n"
         "                           from the seed; under PSO the buffer is one FIFO per\n"
         "                           address. A load reads its processor's newest\n"
         "                           buffered store to its address, else memory. A store\n"
         "                           completes once drained, so the bound files stay\n"
         "                           true and the manifest expects TSO and PSO (PSO:\n"
         "                           PSO) to pass in both modes. WMO buffers as PSO, and\n"
         "                           a load or RMW may also take effect before earlier\n"
         "                           operations of other addresses, but not past a\n"
         "                           fence; its manifest expects WMO to pass\n"
         "      --fences PCT         percentage of loads and stores followed by a fence\n"
         "                           line (default 0). A fence, like an acquire or a\n"
         "                           release, waits until every earlier operation of its\n"
         "                           processor completed, which empties its buffer\n"
         "  -r, --rmw PCT            percentage of loads and stores made atomic\n"
         "                           read-modify-writes, \"rmw A READ WRITTEN\" lines\n"
         "                           (default 0). An RMW waits until its processor's\n"
         "                           buffer is empty, then reads memory and writes a\n"
         "                           new value in one tick (under WMO it waits only for\n"
         "                           the stores to its address)\n"
         "  -x, --rmw-violations NUM\n"
         "                           RMWs made to read the value that an earlier RMW of\n"
         "                           their address read, which every model forbids\n"
         "                           (default 0)\n"
         "  -o, --output PREFIX      path prefix of the files, as qirn -i takes it\n"
         "                           (default: none, the current directory); its\n"
         "                           folder is made when missing\n"
         "      --one-file FILE      also write the run to FILE, processor after\n"
         "                           processor: \"T: M[A] := V\" for a store,\n"
         "                           \"T: M[A] == V\" for a load, \"T: sync\" for a fence,\n"
         "                           \"T: { M[A] == R; M[A] := W }\" for an RMW.\n"
         "                           Under WMO each line ends with \" @ B:E\": B the tick\n"
         "                           the operation was issued, E, for a load or RMW,\n"
         "                           the tick it read (stores and fences: \" @ B:\").\n"
         "                           Lock sessions cannot be written so: a run that has\n"
         "                           any is refused with status 2 (give -l 0)\n"
         "  -h, --help               print this text\n";
}

}  // namespace qirn_gen
