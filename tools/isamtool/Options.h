// The command line of one isamtool command: positional arguments and "--name [value]" options,
// checked against what the command accepts. A mistake is a TUsageError (exit status 2).
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace katalog::isamtool {

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TOptionRules {
  std::set<std::string> Flags;   // "--quiet"
  std::set<std::string> Values;  // "--schema" FILE
  int MinArgs = 1;
  int MaxArgs = 1;
};

class TOptions {
 public:
  // Parses arguments after the command name. "--help" anywhere sets Help() and skips checks.
  TOptions(const std::vector<std::string>& args, const TOptionRules& rules);

  bool Help() const { return help_; }
  const std::vector<std::string>& Args() const { return positional_; }
  bool Flag(const std::string& name) const { return flags_.count(name) != 0; }
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The option's value, or `fallback` when it was not given.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  // Its value, which must be one of `choices` (else a usage error naming the option).
  std::string Choice(const std::string& name, const std::vector<std::string>& choices,
                     const std::string& fallback) const;

 private:
  bool help_ = false;
  std::vector<std::string> positional_;
  std::set<std::string> flags_;
  std::map<std::string, std::string> values_;
};

}  // namespace katalog::isamtool
