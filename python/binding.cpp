// qirn._qirn: one check through the library, with the interpreter free to run
// other threads meanwhile, and qirn-gen's simulator by its command line.
#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/vector.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "api/check.h"
#include "gen/files.h"
#include "gen/generate.h"
#include "gen/options.h"
#include "gen/summary.h"

namespace nb = nanobind;

namespace {

qirn::Result check(qirn::Options options) {
  const nb::gil_scoped_release free_interpreter;
  return qirn::check(options);
}

// Runs qirn-gen with `arguments` (its options) and returns its summary; a
// refused option raises ValueError with qirn-gen's reason.
std::string simulate(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "qirn-gen");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const qirn_gen::ParsedOptions parsed =
      qirn_gen::parse_options(static_cast<int>(arguments.size()), argv.data());
  if (parsed.line.action != qirn_tools::Action::Run) throw std::invalid_argument(parsed.line.error);
  const qirn_gen::GeneratedRun run = qirn_gen::generate(parsed.config);
  if (!parsed.config.oneFile.empty() && qirn_gen::has_lock_sessions(run)) {
    throw std::invalid_argument("one_file cannot hold lock sessions, and this run has some");
  }
  qirn_gen::write_run(run, parsed.config);
  return qirn_gen::summary_text(run, parsed.config);
}

}  // namespace

NB_MODULE(_qirn, module) {
  nb::enum_<qirn::Verdict>(module, "Verdict")
      .value("PASS", qirn::Verdict::Pass)
      .value("VIOLATION", qirn::Verdict::Violation)
      .value("BAD_INPUT", qirn::Verdict::BadInput)
      .value("NO_VERDICT", qirn::Verdict::NoVerdict);
  nb::class_<qirn::Options>(module, "Options")
      .def(nb::init<>())
      .def_rw("model", &qirn::Options::model)
      .def_rw("baseline", &qirn::Options::baseline)
      .def_rw("prefix", &qirn::Options::prefix)
      .def_rw("processors", &qirn::Options::processors)
      .def_rw("trace_file", &qirn::Options::traceFile)
      .def_rw("trace_text", &qirn::Options::traceText)
      .def_rw("trace_in_memory", &qirn::Options::traceInMemory);
  nb::class_<qirn::Result>(module, "Result")
      .def_ro("verdict", &qirn::Result::verdict)
      .def_ro("status", &qirn::Result::status)
      .def_ro("output", &qirn::Result::output)
      .def_ro("errors", &qirn::Result::errors)
      .def_ro("witness", &qirn::Result::witness)
      .def("__repr__", [](const qirn::Result& result) {
        static const char* const kNames[] = {"PASS", "VIOLATION", "BAD_INPUT", "NO_VERDICT"};
        return std::string("<qirn.Result ") + kNames[static_cast<int>(result.verdict)] + ">";
      });
  module.def("check", &check, nb::arg("options"));
  module.def("simulate", &simulate, nb::arg("arguments"));
}
