// Computed fields: a working descriptor list with expressions, evaluated for every record read
// and after every write, and the checks made when the list is installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/table/DataFile.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;

class ComputedFieldTest : public katalog::testing::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Price", 7}, {"Qty", 5}};
    def.Indexes.push_back({"", {"Id"}, {}, true});
    CreateTable(def);
    table_ = std::make_unique<TDataFile>();
    table_->SetFileName(TablePath());
    table_->Open();
    for (int id = 1; id <= 3; ++id) Add(id, "item" + std::to_string(id), 2.5 * id, id);
  }

  void Add(int id, const std::string& name, double price, int qty) {
    std::vector<std::uint8_t> record(table_->WorkingRecordSize());
    table_->BlankRecord(record.data());
    table_->WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data());
    table_->WriteField(TFieldSet::Working, 2, name, record.data());
    table_->WriteField(TFieldSet::Working, 3, price, record.data());
    table_->WriteField(TFieldSet::Working, 4, std::int64_t{qty}, record.data());
    table_->Insert(record.data(), {});
  }

  // The working list: the stored fields and these computed ones.
  std::vector<TFieldDescriptor> With(std::vector<TFieldDescriptor> extra) {
    std::vector<TFieldDescriptor> fields = table_->PhysicalFields();
    for (TFieldDescriptor& field : extra) {
      field.FieldNumber = static_cast<std::int16_t>(fields.size() + 1);
      fields.push_back(field);
    }
    return fields;
  }
  static TFieldDescriptor Computed(const std::string& name, std::uint8_t type,
                                   const std::string& expression, std::uint8_t size = 0) {
    TFieldDescriptor field;
    field.Name = name;
    field.FieldTypeCode = type;
    field.DeclaredSize = size;
    field.Expression = expression;
    return field;
  }

  std::vector<TFieldValue> Column(int fieldNumber) {
    std::vector<TFieldValue> values;
    std::vector<std::uint8_t> record(table_->WorkingRecordSize());
    table_->GoFirst();
    while (table_->GoNext(record.data()) == 0) {
      values.push_back(table_->ReadField(TFieldSet::Working, fieldNumber, record.data()));
    }
    return values;
  }

  std::unique_ptr<TDataFile> table_;
};

TEST_F(ComputedFieldTest, ValuesFollowTheStoredFields) {
  table_->SetWorkingFields(
      With({Computed("Total", 7, "Price * Qty"), Computed("Label", 1, "UPPER(Name) + '!'", 30),
            Computed("Big", 4, "Price * Qty > 10 AND NOT Id = 3")}));
  EXPECT_EQ(table_->WorkingRecordSize(), table_->Header().RecordSize + 9u + 32u + 3u);
  EXPECT_EQ(Column(5), (std::vector<TFieldValue>{2.5, 10.0, 22.5}));
  EXPECT_EQ(Column(6), (std::vector<TFieldValue>{std::string("ITEM1!"), std::string("ITEM2!"),
                                                 std::string("ITEM3!")}));
  EXPECT_EQ(Column(7), (std::vector<TFieldValue>{false, false, false}));

  // A write of a stored field recomputes; a write to a computed field is ignored.
  std::vector<std::uint8_t> record(table_->WorkingRecordSize());
  table_->BlankRecord(record.data());
  table_->WriteField(TFieldSet::Working, 3, 4.0, record.data());
  table_->WriteField(TFieldSet::Working, 4, std::int64_t{5}, record.data());
  EXPECT_EQ(table_->ReadField(TFieldSet::Working, 5, record.data()), TFieldValue(20.0));
  EXPECT_EQ(table_->ReadField(TFieldSet::Working, 7, record.data()), TFieldValue(true));
  EXPECT_TRUE(table_->WriteField(TFieldSet::Working, 5, 1.0, record.data()));
  EXPECT_EQ(table_->ReadField(TFieldSet::Working, 5, record.data()), TFieldValue(20.0));
  table_->WriteField(TFieldSet::Working, 1, std::int64_t{4}, record.data());
  table_->Insert(record.data(), {});
  EXPECT_EQ(Column(5).back(), TFieldValue(20.0));
}

TEST_F(ComputedFieldTest, NullsAndDivisionByZeroGiveNull) {
  table_->SetWorkingFields(With({Computed("Ratio", 7, "Price / (Qty - 2)"),
                                 Computed("Left3", 1, "SUBSTRING(Name, 1, 3)", 10)}));
  const std::vector<TFieldValue> ratio = Column(5);
  EXPECT_EQ(ratio[0], TFieldValue(-2.5));
  EXPECT_EQ(ratio[1], TFieldValue(std::monostate{}));
  EXPECT_EQ(ratio[2], TFieldValue(7.5));
  EXPECT_EQ(Column(6)[0], TFieldValue(std::string("ite")));
}

// A computed BCD field takes an amount exactly at its own scale, rounded once when it has fewer
// decimals, also past 2^53 units.
TEST_F(ComputedFieldTest, BcdValuesAreComputedExactly) {
  TTableDefinition def;
  def.TableName = TablePath("B");
  def.Fields = {{"Id", 6}, {"Amount", 8, 0, 0, 2}};
  CreateTable(def);
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(TablePath("B"));
  table.Open();
  std::vector<TFieldDescriptor> fields = table.PhysicalFields();
  const auto add = [&](const char* name, std::uint8_t scale, const char* expression) {
    TFieldDescriptor field = Computed(name, 8, expression);
    field.DeclaredScale = scale;
    field.FieldNumber = static_cast<std::int16_t>(fields.size() + 1);
    fields.push_back(field);
  };
  add("Same", 2, "Amount");
  add("More", 4, "Amount + 1");
  add("Whole", 0, "Amount");
  add("Units", 2, "Id");
  table.SetWorkingFields(fields);
  std::vector<std::uint8_t> record(table.WorkingRecordSize());
  table.BlankRecord(record.data());
  ASSERT_TRUE(table.WriteField(TFieldSet::Working, 1, std::int64_t{2147483647}, record.data()));
  ASSERT_TRUE(table.WriteField(TFieldSet::Working, 2, TBcdAmount{9007199254740993}, record.data()));
  EXPECT_EQ(table.ReadField(TFieldSet::Working, 3, record.data()),
            TFieldValue(TBcdAmount{9007199254740993}));
  EXPECT_EQ(table.ReadField(TFieldSet::Working, 4, record.data()),
            TFieldValue(TBcdAmount{900719925474109300}));
  EXPECT_EQ(table.ReadField(TFieldSet::Working, 5, record.data()),
            TFieldValue(TBcdAmount{90071992547410}));
  EXPECT_EQ(table.ReadField(TFieldSet::Working, 6, record.data()),
            TFieldValue(TBcdAmount{214748364700}));
}

TEST_F(ComputedFieldTest, InstallingChecksTheList) {
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("", 7, "1")})); }),
            ie::kInvalidFieldName);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("9x", 7, "1")})); }),
            ie::kInvalidFieldName);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("price", 7, "1")})); }),
            ie::kInvalidFieldName);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("X", 0, "1")})); }),
            ie::kInvalidFieldDefinition);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("X", 1, "'a'", 251)})); }),
            ie::kInvalidFieldDefinition);
  auto badDefault = Computed("X", 5, "1");
  badDefault.DefaultValue = "70000";
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({badDefault})); }),
            ie::kInvalidFieldCheck);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("X", 7, "Price *")})); }),
            ie::kInvalidFilterExpression);
  EXPECT_EQ(EngineErrorOf([&] { table_->SetWorkingFields(With({Computed("X", 7, "Nope + 1")})); }),
            ie::kInvalidField);
  EXPECT_EQ(EngineErrorOf(
                [&] { table_->SetWorkingFields(With({Computed("X", 7, std::string(300, '('))})); }),
            ie::kInvalidFilterExpression);
  // After a refused list the table reads as before.
  EXPECT_EQ(Column(3), (std::vector<TFieldValue>{2.5, 5.0, 7.5}));
}

TEST_F(ComputedFieldTest, FiltersAndClonesSeeComputedValues) {
  table_->SetWorkingFields(With({Computed("Total", 7, "Price * Qty")}));
  auto root = std::make_unique<TFilterNode>();
  root->Class = fc::kBinary;
  root->Operator = fo::kGreater;
  root->Left = std::make_unique<TFilterNode>();
  root->Left->Class = fc::kField;
  root->Left->FieldName = "Total";
  root->Left->FieldNumber = 5;
  root->Left->Value.Type = 7;
  root->Right = std::make_unique<TFilterNode>();
  root->Right->Class = fc::kConstant;
  root->Right->Value = {7, false, 0, 5.0};
  TFilter* filter = nullptr;
  ASSERT_EQ(table_->AddFilter(std::move(root), &filter), 0);
  ASSERT_EQ(table_->Filters().Activate(filter), 0);
  EXPECT_EQ(table_->RecordCount(), 2);
  auto clone = table_->Clone();
  EXPECT_EQ(clone->RecordCount(), 2);
  EXPECT_EQ(clone->WorkingRecordSize(), table_->WorkingRecordSize());
}

}  // namespace
}  // namespace katalog
