#include "witness/witness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "locks/lock_core.h"
#include "qirn.h"
#include "report/diagnostics.h"
#include "run/driver.h"
#include "witness/dot.h"

namespace qirn_witness {
namespace {

int fail(const std::string& message, int status = 2) {
  std::fprintf(stderr, "qirn-witness: %s\n", message.c_str());
  return status;
}

// The value of an option spelled as one word or as two; true when arg is
// that option.
bool take_value(const std::string& arg, const std::string& word, int& i, int argc, char** argv,
                std::string& value) {
  if (arg == word) {
    if (i + 1 >= argc) return false;
    value = argv[++i];
    return true;
  }
  const std::string joined = word.size() == 2 ? word : word + "=";
  if (arg.size() <= joined.size() || arg.compare(0, joined.size(), joined) != 0) return false;
  value = arg.substr(joined.size());
  return true;
}

// True for a spelling that qirn's option parser reads as its own output-file
// option: a long abbreviation from --o to --output, with or without =FILE,
// or a group of qirn's flags ending in o, such as -bo or -boFILE.
bool names_qirn_output(const std::string& arg) {
  if (arg.starts_with("--")) {
    const std::string name = arg.substr(0, arg.find('='));
    return name.size() > 2 && std::string_view("--output").starts_with(name);
  }
  const size_t letter = arg.find_first_not_of("hb", 1);
  return arg.starts_with("-") && letter != std::string::npos && letter > 1 && arg[letter] == 'o';
}

bool program_found(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  for (size_t start = 0; start <= dirs.size();) {
    const size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string file = dirs.substr(start, end - start) + "/" + name;
    if (access(file.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Feeds the graph to `dot -Tsvg -o FILE`.
int write_svg(const std::string& dot, const std::string& file) {
  if (!program_found("dot")) {
    return fail(
        "svg needs the dot program (Debian package graphviz), which is not installed; "
        "nothing written");
  }
  int fds[2];
  if (pipe(fds) != 0) return fail(std::string("cannot run dot: ") + std::strerror(errno));
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
    close(fds[1]);
    execlp("dot", "dot", "-Tsvg", "-o", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  const bool sent = write(fds[1], dot.data(), dot.size()) == static_cast<ssize_t>(dot.size());
  close(fds[1]);
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (pid < 0 || !sent || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return fail("dot could not render " + file);
  }
  return 0;
}

int write_picture(const WitnessOptions& options, const std::string& dot) {
  if (options.format == "svg") return write_svg(dot, options.file);
  std::ofstream out(options.file, std::ios::trunc);
  if (!(out << dot && out.flush())) return fail("cannot write " + options.file);
  return 0;
}

}  // namespace

const char* const kWitnessUsage =
    "Usage: qirn-witness [QIRN OPTIONS] [--format dot|svg] -o FILE\n"
    "Runs the verifier as qirn does with the same options, printing what qirn\n"
    "prints, and when it reports a cycle writes that cycle to FILE as a Graphviz\n"
    "graph: one column per processor, the operations on the cycle and their\n"
    "neighbours in program order, each cycle arc labelled with its tag and time\n"
    "links dashed. An RC or ScC violation without a cycle is drawn as a set of\n"
    "operations that admits no order, none of which can be left out, with the\n"
    "arcs every order of them keeps. Without either nothing is written.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      the picture (required)\n"
    "      --format dot|svg   DOT text (default), or SVG drawn by the dot program\n"
    "  -h, --help             print this text\n"
    "Every other option is qirn's: -p, -m, -b, -i, -n, -c; qirn's own output\n"
    "file cannot be set here.\n";

WitnessOptions parse_options(int argc, char** argv) {
  WitnessOptions options;
  options.qirnArguments.push_back(argc > 0 ? argv[0] : "qirn-witness");
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (take_value(arg, "--format", i, argc, argv, value)) {
      options.format = value;
    } else if (take_value(arg, "-o", i, argc, argv, value) ||
               take_value(arg, "--output", i, argc, argv, value)) {
      options.file = value;
    } else if (names_qirn_output(arg)) {
      if (options.error.empty()) {
        options.error = arg + ": qirn's output file cannot be set here; -o FILE names the picture";
      }
    } else {
      options.qirnArguments.push_back(arg);
    }
  }
  if (!options.error.empty()) return options;
  if (options.format != "dot" && options.format != "svg") {
    options.error = "--format takes dot or svg, not '" + options.format + "'";
  } else if (options.file.empty() && !options.help) {
    options.error = "an output file is required (-o FILE)";
  }
  return options;
}

int run_verifier(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& word : arguments) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const int status =
      run_guarded([&] { return run_qirn(static_cast<int>(arguments.size()), argv.data()); });
  std::fflush(stdout);
  return status;
}

int write_witness(const WitnessOptions& options) {
  const FoundCycle& cycle = state.lastCycle;
  if (!cycle.nodes.empty()) {
    if (const int status = write_picture(options, render_dot(cycle)); status != 0) return status;
    std::fprintf(stderr, "qirn-witness: wrote %s, a cycle of %zu operations\n",
                 options.file.c_str(), cycle.nodes.size() - 1);
    return 0;
  }
  const bool lockModel = state.MC == RC || state.MC == ScC;
  const std::optional<FoundCore> core = lockModel ? find_core(state.MC) : std::nullopt;
  if (!core) return fail("qirn reports no cycle; nothing written", 1);
  if (const int status = write_picture(options, render_core_dot(*core)); status != 0) return status;
  const std::size_t count = core->nodes.size();
  std::fprintf(stderr, "qirn-witness: wrote %s, %zu operation%s that admit%s no order\n",
               options.file.c_str(), count, count == 1 ? "" : "s", count == 1 ? "s" : "");
  return 0;
}

}  // namespace qirn_witness
