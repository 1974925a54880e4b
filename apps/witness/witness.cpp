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

// Reads argv[i] when it is an option of the table spelt out in full (-o FILE,
// -oFILE, --output FILE, --output=FILE), taking its value; false for any
// other word.
bool read_own(const std::vector<qirn_tools::Option>& table, int argc, char** argv, int& i,
              qirn_tools::CommandLine& line) {
  const std::string arg = argv[i];
  for (const qirn_tools::Option& option : table) {
    const std::string letter = std::string("-") + option.letter;
    const std::string name = "--" + option.names.front();
    std::string value;
    if (arg == name || (option.letter != '\0' && arg == letter)) {
      if (i + 1 == argc) {
        line.refuse("missing value for " + arg);
        return true;
      }
      value = argv[++i];
    } else if (option.letter != '\0' && arg.starts_with(letter)) {
      value = arg.substr(letter.size());
    } else if (arg.starts_with(name + "=")) {
      value = arg.substr(name.size() + 1);
    } else {
      continue;
    }
    line.refuse(qirn_tools::apply(option, value.c_str()));
    return true;
  }
  return false;
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

ParsedOptions parse_options(int argc, char** argv) {
  using namespace qirn_tools;
  ParsedOptions parsed;
  CommandLine& line = parsed.line;
  WitnessOptions& o = parsed.options;
  o.qirnArguments.push_back(argc > 0 ? argv[0] : "qirn-witness");
  if (asks_version(argc, argv)) {
    line.action = Action::Version;
    return parsed;
  }
  const std::vector<Option> table = {
      {'o', {"output"}, file_name(o.file)},
      {'\0', {"format"}, one_of(o.format, {"dot", "svg"})},
  };
  for (int i = 1; i < argc && line.action != Action::Fail; ++i) {
    const std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      line.action = Action::Help;
      continue;
    }
    if (read_own(table, argc, argv, i, line)) continue;
    if (names_qirn_output(arg)) {
      line.refuse(arg + ": qirn's output file cannot be set here; -o FILE names the picture");
    } else {
      o.qirnArguments.push_back(arg);
    }
  }
  if (line.action == Action::Run && o.file.empty()) {
    line.refuse("an output file is required (-o FILE)");
  }
  return parsed;
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
  const FoundCycle& cycle = state->lastCycle;
  if (!cycle.nodes.empty()) {
    if (const int status = write_picture(options, render_dot(cycle)); status != 0) return status;
    std::fprintf(stderr, "qirn-witness: wrote %s, a cycle of %zu operations\n",
                 options.file.c_str(), cycle.nodes.size() - 1);
    return 0;
  }
  const std::optional<FoundCore> core = is_lock_model() ? find_core(state->MC) : std::nullopt;
  if (!core) return fail("qirn reports no cycle; nothing written", 1);
  if (const int status = write_picture(options, render_core_dot(*core)); status != 0) return status;
  const std::size_t count = core->nodes.size();
  std::fprintf(stderr, "qirn-witness: wrote %s, %zu operation%s that admit%s no order\n",
               options.file.c_str(), count, count == 1 ? "" : "s", count == 1 ? "s" : "");
  return 0;
}

}  // namespace qirn_witness
