#include "tools/isamtool/Options.h"

#include <algorithm>

namespace katalog::isamtool {

TOptions::TOptions(const std::vector<std::string>& args, const TOptionRules& rules) {
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    help_ = true;
    return;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      if (rules.Flags.count(arg)) {
        flags_.insert(arg);
      } else if (rules.Values.count(arg)) {
        if (i + 1 >= args.size()) throw TUsageError("option " + arg + " needs a value");
        if (values_.count(arg)) throw TUsageError("option " + arg + " given twice");
        values_[arg] = args[++i];
      } else {
        throw TUsageError("unknown option " + arg);
      }
    } else {
      positional_.push_back(arg);
    }
  }
  const int count = static_cast<int>(positional_.size());
  if (count < rules.MinArgs) throw TUsageError("missing argument: TABLE");
  if (count > rules.MaxArgs) throw TUsageError("unexpected argument " + positional_.back());
}

std::string TOptions::Value(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

std::string TOptions::Choice(const std::string& name, const std::vector<std::string>& choices,
                             const std::string& fallback) const {
  const std::string value = Value(name, fallback);
  if (std::find(choices.begin(), choices.end(), value) == choices.end()) {
    std::string list;
    for (const std::string& c : choices) list += (list.empty() ? "" : ", ") + c;
    throw TUsageError("option " + name + " must be one of " + list + ", not '" + value + "'");
  }
  return value;
}

}  // namespace katalog::isamtool
