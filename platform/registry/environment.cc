// Environment variables and their expansion.
#include "platform/registry/environment.h"

#include "platform/registry/text.h"

namespace registry {

void Environment::Set(std::string_view name, std::string value) {
  auto& entry = vars_[FoldCase(name)];
  if (entry.first.empty()) entry.first = std::string(name);
  entry.second = std::move(value);
}

void Environment::SetDefault(std::string_view name, std::string value) {
  if (vars_.count(FoldCase(name)) == 0) Set(name, std::move(value));
}

bool Environment::Get(std::string_view name, std::string* value) const {
  auto it = vars_.find(FoldCase(name));
  if (it == vars_.end()) return false;
  *value = it->second.second;
  return true;
}

std::string Environment::GetOr(std::string_view name) const {
  std::string value;
  Get(name, &value);
  return value;
}

std::string Environment::Expand(std::string_view text) const {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::string value;
    std::string_view name = text.substr(open + 1, close - open - 1);
    if (!name.empty() && Get(name, &value)) {
      out += value;
      pos = close + 1;
    } else {
      // Not a variable: keep "%NAME%" as it is.
      out.append(text.substr(open, close - open + 1));
      pos = close + 1;
    }
  }
  out.append(text.substr(pos));
  return out;
}

std::vector<std::pair<std::string, std::string>> Environment::Variables() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& [folded, entry] : vars_) out.push_back(entry);
  return out;
}

}  // namespace registry
