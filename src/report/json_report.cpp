#include "report/json_report.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "locks/lock_core.h"
#include "qirn.h"
#include "report/diagnostics.h"

namespace {

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* verdict_name() {
  if (!state->stopMessage.empty())
    return state->stopKind == StopKind::Violation ? "violation" : "error";
  if (state->verdict == Verdict::None) return "none";
  return state->verdict == Verdict::Violation ? "violation" : "pass";
}

struct Witness {
  std::string kind;
  std::vector<const opnode*> nodes;
  std::vector<CoreArc> arcs;
};

std::optional<Witness> witness_of_run() {
  const FoundCycle& cycle = state->lastCycle;
  if (!cycle.nodes.empty()) {
    Witness witness{"cycle", {cycle.nodes.begin(), cycle.nodes.end() - 1}, {}};
    for (std::size_t i = 1; i < cycle.nodes.size(); ++i)
      witness.arcs.push_back({cycle.nodes[i], cycle.nodes[i - 1], cycle.tags[i - 1]});
    return witness;
  }
  if (!is_lock_model() || state->verdict != Verdict::Violation || !state->stopMessage.empty())
    return std::nullopt;
  std::optional<FoundCore> core = find_core(state->MC);
  if (!core) return std::nullopt;
  return Witness{"core", std::move(core->nodes), std::move(core->arcs)};
}

std::string node_json(const opnode* u) {
  return "{\"processor\": " + std::to_string(u->proc_num) +
         ", \"sequence\": " + std::to_string(u->seq_num) + ", \"text\": " + quoted(node_text(u)) +
         "}";
}

std::string arc_json(const CoreArc& arc) {
  return "{\"from\": " + node_json(arc.from) + ", \"to\": " + node_json(arc.to) +
         ", \"tag\": " + quoted(order_tag(arc.tag)) + "}";
}

std::string witness_json() {
  const std::optional<Witness> witness = witness_of_run();
  if (!witness) return "null";
  std::string json = "{\"kind\": " + quoted(witness->kind) + ", \"nodes\": [";
  for (std::size_t i = 0; i < witness->nodes.size(); ++i)
    json += (i == 0 ? "" : ", ") + node_json(witness->nodes[i]);
  json += "], \"arcs\": [";
  for (std::size_t i = 0; i < witness->arcs.size(); ++i)
    json += (i == 0 ? "" : ", ") + arc_json(witness->arcs[i]);
  return json + "]}";
}

// The stop's message without the newlines that end it.
std::string stop_message() {
  std::string message = state->stopMessage;
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return message;
}

// The verdict line, or for the violation that stops a run its message.
std::string line_json() {
  if (!state->stopMessage.empty())
    return state->stopKind == StopKind::Violation ? quoted(stop_message()) : "null";
  return state->verdictLine.text.empty() ? "null" : quoted(state->verdictLine.text);
}

std::string error_json() {
  if (state->stopMessage.empty() || state->stopKind == StopKind::Violation) return "null";
  std::string json = "{\"message\": " + quoted(stop_message());
  json += ", \"file\": " + (state->stopFile.empty() ? "null" : quoted(state->stopFile));
  json += ", \"line\": " + (state->stopLine > 0 ? std::to_string(state->stopLine) : "null");
  json += ", \"meaning\": " + (state->stopMeaning ? quoted(state->stopMeaning) : "null");
  return json + "}";
}

}  // namespace

std::string json_report(int status) {
  std::string json = "{\"model\": " + quoted(model_name(state->MC));
  json += ", \"mode\": " + quoted(state->isBase == 1 ? "baseline" : "optimized");
  json += ", \"processors\": " + std::to_string(state->NPROCESSOR);
  json += ", \"verdict\": " + quoted(verdict_name());
  json += ", \"line\": " + line_json();
  json += ", \"status\": " + std::to_string(status);
  json += ", \"choices\": " + std::to_string(state->exp_i);
  json += ", \"witness\": " + witness_json();
  json += ", \"error\": " + error_json();
  return json + "}\n";
}

bool write_json_report(int status) {
  if (state->jsonFile.empty()) return true;
  FILE* file = std::fopen(state->jsonFile.c_str(), "w");
  if (file == nullptr) return false;
  const std::string json = json_report(status);
  const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
  return std::fclose(file) == 0 && written;
}
