#include "gen/manifest.h"

#include <initializer_list>
#include <vector>

#include "tools/report_text.h"

namespace qirn_gen {
namespace {

using qirn_tools::json_string;

struct NumberField {
  const char* name;
  char letter;
  int32_t GenConfig::*field;
};

// In the order of qirn-gen's usage text; the seed is a field of its own.
const NumberField kNumberFields[] = {
    {"processors", 'p', &GenConfig::processors},
    {"operations", 'n', &GenConfig::operations},
    {"addresses", 'a', &GenConfig::addresses},
    {"locks", 'l', &GenConfig::locks},
    {"lock-share", 'c', &GenConfig::lockShare},
    {"scan-distance", 'd', &GenConfig::scanDistance},
    {"violations", 'v', &GenConfig::violations},
    {"timed-violations", 't', &GenConfig::timedViolations},
    {"lock-violations", 'k', &GenConfig::lockViolations},
};

const char* const kModels[] = {"SC", "PC", "RC", "ScC", "TSO", "PSO", "WMO"};

// Runs of SC without fences and RMWs are described as before TSO, PSO,
// fences and RMWs existed, byte for byte: no "model" or "fences" option, and
// expectations for SC, PC, RC and ScC only.
bool as_before(const GenConfig& config) {
  return config.model == MemoryModel::SC && config.fences == 0 && !asks_rmw(config);
}

bool is_model(std::string_view model, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) {
    if (model == name) return true;
  }
  return false;
}

// The models a manifest gives expectations for: SC, PC, RC and ScC as before
// store buffers; TSO and PSO too for runs with buffers, fences or RMWs; WMO
// only for runs simulated under WMO, so that the manifests of the other runs
// stay as they were before it.
bool listed(const GenConfig& config, std::string_view model) {
  if (model == "WMO") return config.model == MemoryModel::WMO;
  return !as_before(config) || !is_model(model, {"TSO", "PSO"});
}

// Whether `model` allows every run that the simulation of `simulated` makes,
// whose sessions of a lock never overlap: an SC run is allowed by them all; a
// TSO run by TSO, PSO, WMO, RC and ScC; a PSO run by PSO, WMO, RC and ScC; a
// WMO run by WMO, RC and ScC. For RC and ScC, the sequence that explains a
// buffered run places stores at their drains, loads at their reads, and a
// load that read its own buffered store right after that store's drain,
// which comes before the load completes, so the bound files hold too; it
// keeps a processor's accesses of one address in order, and a fence, acquire
// or release, at its effect, has everything before it completed and nothing
// after it taken effect. Nothing else across addresses binds RC and ScC, so
// the loads that WMO lets pass earlier operations of other addresses change
// nothing there. For WMO, which keeps only those orders and the ones that a
// one-file trace's times show, the sequence places every load at its read,
// a forwarded one included (WMO lets it pass the buffered store it read): a
// load that ended before a later operation began read before that one was
// issued, so before it took effect.
bool accepts(MemoryModel simulated, std::string_view model) {
  switch (simulated) {
    case MemoryModel::SC:
      return true;
    case MemoryModel::TSO:
      return is_model(model, {"TSO", "PSO", "WMO", "RC", "ScC"});
    case MemoryModel::PSO:
      return is_model(model, {"PSO", "WMO", "RC", "ScC"});
    case MemoryModel::WMO:
      return is_model(model, {"WMO", "RC", "ScC"});
  }
  return false;
}

std::string member(const char* key, const std::string& value) {
  return json_string(key) + ": " + value;
}

// The members between braces, as an object. Appended piece by piece: g++ 12
// takes "{" + text for an overlapping copy in release builds.
std::string braced(const std::string& members) {
  std::string object = "{";
  object += members;
  object += '}';
  return object;
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) text += (i > 0 ? separator : "") + items[i];
  return text;
}

std::string options_json(const GenConfig& config) {
  std::vector<std::string> members;
  for (const NumberField& number : kNumberFields) {
    members.push_back(member(number.name, std::to_string(config.*number.field)));
  }
  if (!as_before(config)) {
    members.push_back(member("model", json_string(model_name(config.model))));
    members.push_back(member("fences", std::to_string(config.fences)));
  }
  if (asks_rmw(config)) {
    members.push_back(member("rmw", std::to_string(config.rmw)));
    members.push_back(member("rmw-violations", std::to_string(config.rmwViolations)));
  }
  members.push_back(member("output", json_string(config.prefix)));
  if (!config.oneFile.empty()) members.push_back(member("one-file", json_string(config.oneFile)));
  return braced(joined(members, ", "));
}

std::string load_members(const GeneratedRun& run, const InjectedLoad& load, const char* kind) {
  const GenOp& op = run.programs[load.proc][load.seq];
  return member("kind", json_string(kind)) + ", " + member("processor", std::to_string(load.proc)) +
         ", " + member("operation", std::to_string(load.seq)) + ", " +
         member("address", std::to_string(op.target)) + ", " +
         member("loaded", std::to_string(load.stale)) + ", " +
         member("memory", std::to_string(load.faithful));
}

std::string lock_members(const GeneratedRun& run, const LockViolation& violation) {
  const char* kind =
      violation.kind == LockViolationKind::StaleSession ? "lock-stale-read" : "lock-mid-session";
  return load_members(run, violation.load, kind) + ", " +
         member("lock", std::to_string(violation.lock)) + ", " +
         member("writer", std::to_string(violation.writer)) + ", " +
         member("overwrite", std::to_string(violation.overwrite));
}

std::string rmw_members(const GeneratedRun& run, const RmwViolation& violation) {
  return load_members(run, violation.load, "rmw") + ", " +
         member("pair-processor", std::to_string(violation.pairProc)) + ", " +
         member("pair-operation", std::to_string(violation.pairSeq));
}

// The counts per option, then every changed load: the stale loads of -v or
// -t, the planted lock violations, then the RMWs of -x (count and entries
// only for runs that ask for RMWs).
std::string injected_json(const GeneratedRun& run, const GenConfig& config) {
  const size_t stale = run.injected.size();
  std::vector<std::string> loads;
  for (const InjectedLoad& load : run.injected) {
    loads.push_back(braced(load_members(run, load, run.injectedTimed ? "timed" : "stale")));
  }
  for (const LockViolation& violation : run.lockViolations) {
    loads.push_back(braced(lock_members(run, violation)));
  }
  for (const RmwViolation& violation : run.rmwViolations) {
    loads.push_back(braced(rmw_members(run, violation)));
  }
  const std::string rmws =
      asks_rmw(config) ? ", " + member("rmw-violations", std::to_string(run.rmwViolations.size()))
                       : "";
  const std::string list = loads.empty() ? "[]" : "[\n    " + joined(loads, ",\n    ") + "\n  ]";
  return braced(member("violations", std::to_string(run.injectedTimed ? 0 : stale)) + ", " +
                member("timed-violations", std::to_string(run.injectedTimed ? stale : 0)) + ", " +
                member("lock-violations", std::to_string(run.lockViolations.size())) + rmws + ", " +
                member("loads", list));
}

std::string expected_json(const GeneratedRun& run, const GenConfig& config) {
  std::vector<std::string> models;
  for (const char* model : kModels) {
    if (!listed(config, model)) continue;
    const std::string modes =
        member("optimized", json_string(expected_verdict(run, model, false))) + ", " +
        member("baseline", json_string(expected_verdict(run, model, true)));
    models.push_back(member(model, braced(modes)));
  }
  return braced(joined(models, ", "));
}

}  // namespace

std::string manifest_path(const std::string& prefix) {
  return prefix + "manifest.json";
}

std::string regenerate_command(const GenConfig& config) {
  std::string command = "qirn-gen";
  for (const NumberField& number : kNumberFields) {
    command += std::string(" -") + number.letter + " " + std::to_string(config.*number.field);
  }
  if (!as_before(config)) {
    command += std::string(" -m ") + model_name(config.model) + " --fences " +
               std::to_string(config.fences);
  }
  if (asks_rmw(config)) {
    command += " -r " + std::to_string(config.rmw) + " -x " + std::to_string(config.rmwViolations);
  }
  command += " -s " + std::to_string(config.seed);
  if (!config.prefix.empty()) command += " -o " + qirn_tools::shell_word(config.prefix);
  if (!config.oneFile.empty()) command += " --one-file " + qirn_tools::shell_word(config.oneFile);
  return command;
}

const char* expected_verdict(const GeneratedRun& run, std::string_view model, bool baseline) {
  if (!run.rmwViolations.empty()) return "violation";
  if (run.injected.empty() && run.lockViolations.empty()) {
    return accepts(run.model, model) ? "pass" : "any";
  }
  if (run.model != MemoryModel::SC && !run.injected.empty() && !run.injectedTimed) {
    return "violation";
  }
  const bool timed =
      run.injectedTimed && !baseline && is_model(model, {"SC", "PC", "TSO", "PSO", "WMO"});
  const bool locked = !run.lockViolations.empty() && (is_model(model, {"RC", "ScC"}) ||
                                                      (baseline && is_model(model, {"SC", "TSO"})));
  return timed || locked ? "violation" : "any";
}

std::string manifest_text(const GeneratedRun& run, const GenConfig& config) {
  const std::vector<std::string> members = {
      member("tool", json_string("qirn-gen")),
      member("version", json_string(QIRN_VERSION)),
      member("seed", std::to_string(config.seed)),
      member("options", options_json(config)),
      member("injected", injected_json(run, config)),
      member("command", json_string(regenerate_command(config))),
      member("expected", expected_json(run, config)),
  };
  return "{\n  " + joined(members, ",\n  ") + "\n}\n";
}

}  // namespace qirn_gen
