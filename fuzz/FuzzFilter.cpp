// Fuzz target: filter expressions. The first byte picks the filter options and the constant
// forms, the rest is the expression text, parsed and compiled against a data set of every common
// field type; a compiled condition is turned into the engine's tree and evaluated on a record of
// random-looking bytes (the input's own). The whole input is also handed to the engine as a
// compiled condition, as a damaged or hostile one would reach it. An error that names a place in
// the text must name one within it.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DatabaseError.h"
#include "engine/components/ExprParser.h"
#include "engine/components/FilterError.h"
#include "engine/index/FilterEvaluator.h"
#include "engine/index/FilterTree.h"
#include "engine/storage/IsamError.h"
#include "support/FieldLayout.h"
#include "support/MemoryDataSet.h"

namespace {

using namespace katalog;
using namespace katalog::testing;

struct TTarget {
  TMemoryDataSet dataSet{nullptr,
                         {{"Name", ftString, 20},
                          {"Born", ftDate},
                          {"Amount", ftFloat},
                          {"Count", ftInteger},
                          {"Active", ftBoolean},
                          {"Notes", ftMemo},
                          {"Stamp", ftDateTime}}};
  TFieldLayout layout;

  TTarget() {
    dataSet.AddRecord(
        {std::string("x"), std::int64_t{1}, 1.0, std::int64_t{1}, true, std::string("n"), 1.0});
    dataSet.Open();
    layout.Add(1, 20, 0, 0, "Name");
    layout.Add(2, 0, 0, 0, "Born");
    layout.Add(7, 0, 0, 0, "Amount");
    layout.Add(6, 0, 0, 0, "Count");
    layout.Add(4, 0, 0, 0, "Active");
    layout.Add(3, 0, 0, 22, "Notes");
    layout.Add(11, 0, 0, 0, "Stamp");
  }
};

void Evaluate(const TTarget& target, const std::vector<std::uint8_t>& condition,
              const std::uint8_t* data, std::size_t size) {
  try {
    const auto tree = ConvertCondition(condition, target.layout.Fields(), "fuzz");
    std::vector<std::uint8_t> record = target.layout.EmptyRecord();
    for (std::size_t i = 0; i < record.size() && i < size; ++i) record[i] = data[i];
    for (std::uint32_t locale : {0u, 0x405u}) {
      const TEvaluationContext context{locale, &target.layout.Fields()};
      (void)ConditionHolds(*tree, record.data(), context);
    }
  } catch (const EIsamEngineError&) {
  }
}

void CheckPosition(const std::exception& error, const std::string& text) {
  const std::optional<std::size_t> at = FilterErrorPosition(error);
  if (at && *at > text.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TTarget target;
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const TConstantForms forms = data[0] & 4 ? TConstantForms::Iso : TConstantForms::Locale;
    const TExprParser parser(target.dataSet, data[0] & 3, text, forms);
    Evaluate(target, parser.Condition(), data, size);
  } catch (const EDatabaseError& e) {
    CheckPosition(e, text);
  } catch (const EConvertError& e) {  // a constant that does not read as its field's type
    CheckPosition(e, text);
  }
  Evaluate(target, std::vector<std::uint8_t>(data, data + size), data, size);
  return 0;
}
