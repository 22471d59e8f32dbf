// BCD fields of a table: what a field writes reaches the table exactly, and what the table holds
// (as this program or another one wrote it) reads back exactly, at the ends of the 64-bit range
// and past 2^53 units, where a double holds no more than every other amount.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Fields A, B, C and D of 2, 4, 0 and 18 decimals, after the key Id.
enum : int { kId = 1, kA, kB, kC, kD };
const char* const kNames[] = {"", "Id", "A", "B", "C", "D"};

class BcdFieldTest : public ::testing::Test {
 protected:
  BcdFieldTest() {
    Sessions().DefaultSession().SetActive(true);
    TTableDefinition def;
    def.TableName = dir_.File("T");
    def.Fields = {
        {"Id", 6}, {"A", 8, 0, 0, 2}, {"B", 8, 0, 0, 4}, {"C", 8, 0, 0, 0}, {"D", 8, 0, 0, 18}};
    def.Indexes.push_back({"", {"Id"}, {}, true});
    CreateTable(def);
  }
  ~BcdFieldTest() override { Sessions().DefaultSession().SetActive(false); }

  void Open(TIsamTable& table) {
    table.SetDatabaseName(dir_.Path() + "/");
    table.SetTableName("T");
    table.Open();
  }
  // The stored amount as the record holds it, read by the engine itself.
  std::int64_t Stored(std::int64_t id, int field) {
    TDataFile file;
    file.SetFileName(dir_.File("T"));
    file.Open();
    std::vector<std::uint8_t> record(file.WorkingRecordSize());
    file.GoFirst();
    while (file.GoNext(record.data()) == 0) {
      if (std::get<std::int64_t>(file.ReadField(TFieldSet::Working, kId, record.data())) != id)
        continue;
      const TFieldValue value = file.ReadField(TFieldSet::Working, field, record.data());
      EXPECT_TRUE(std::holds_alternative<TBcdAmount>(value)) << kNames[field];
      return std::holds_alternative<TBcdAmount>(value) ? std::get<TBcdAmount>(value).Scaled : 0;
    }
    ADD_FAILURE() << "no record " << id;
    return 0;
  }
  static std::int64_t Native(const TField& field) {
    unsigned char buffer[64] = {};
    field.ReadValue(buffer, true);
    std::int64_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    return value;
  }

  TempDir dir_;
};

// Written as a currency value (the field form, 1/10 000 units), the amount is rounded once to the
// field's decimals and stored whole.
TEST_F(BcdFieldTest, CurrencyValuesReachTheTableExactly) {
  struct TCase {
    int Field;
    std::int64_t Currency;  // value x 10 000
    std::int64_t Stored;    // value x 10^scale
  };
  const TCase cases[] = {
      {kA, 900719925474099300, 9007199254740993},      // 90071992547409.93
      {kB, 9223372036854777, 9223372036854777},        // 922337203685.4777
      {kA, -1234567890123456700, -12345678901234567},  // -123456789012345.67
      {kB, kMax, kMax},
      {kB, kMin, kMin},
      {kA, kMax, 92233720368547758},  // ...58.07 rounded to two decimals
      {kC, kMin, -922337203685478},   // ...77.5808, half away from zero
  };
  TIsamTable table(nullptr);
  Open(table);
  std::int64_t id = 0;
  for (const TCase& c : cases) {
    table.Append();
    table.FieldNamed("Id")->SetValueInteger(++id);
    table.FieldNamed(kNames[c.Field])->SetValueCurrency(c.Currency);
    table.Post();
  }
  table.Close();
  id = 0;
  for (const TCase& c : cases) {
    EXPECT_EQ(Stored(++id, c.Field), c.Stored) << "record " << id << ", " << kNames[c.Field];
  }
}

// The native value (the stored amount) goes to the table and comes back unchanged, also for the
// field with 18 decimals, whose amounts the currency form cannot hold; and what the table holds
// reads back as the same amount, as text and as currency.
TEST_F(BcdFieldTest, StoredAmountsRoundTripThroughTheField) {
  struct TCase {
    int Field;
    std::int64_t Stored;
    const char* Text;  // the currency value as the field gives it (Czech decimal comma)
  };
  const TCase cases[] = {
      {kA, 9007199254740993, "90071992547409,93"},
      {kA, -12345678901234567, "-123456789012345,67"},
      {kB, 9223372036854777, "922337203685,4777"},
      {kB, kMax, "922337203685477,5807"},
      {kB, kMin, "-922337203685477,5808"},
      {kC, 922337203685477, "922337203685477"},
      {kD, kMax, "9,2234"},
      {kD, kMin + 1, "-9,2234"},
  };
  TIsamTable table(nullptr);
  Open(table);
  std::int64_t id = 0;
  for (const TCase& c : cases) {
    table.Append();
    table.FieldNamed("Id")->SetValueInteger(++id);
    table.FieldNamed(kNames[c.Field])->WriteValue(&c.Stored, true);
    table.Post();
  }
  table.Close();
  Open(table);
  table.First();
  id = 0;
  for (const TCase& c : cases) {
    ++id;
    EXPECT_EQ(Stored(id, c.Field), c.Stored) << "record " << id;
    ASSERT_EQ(table.FieldNamed("Id")->ValueInteger(), id);
    const TField& field = *table.FieldNamed(kNames[c.Field]);
    EXPECT_EQ(Native(field), c.Stored) << "record " << id;
    EXPECT_EQ(field.ValueString(), c.Text) << "record " << id;
    table.Next();
  }
}

}  // namespace
}  // namespace katalog::testing
