// TFieldDef and TFieldDefs: the plain descriptions of a data set's columns, filled by the
// concrete data set when it opens (name, type, size, required flag, field number), from which the
// default field objects are made.
//
// TFieldDefs owns its definitions, in column order; a definition owns its child definitions.
// Names are compared with the user's locale without regard to case ("de_1" names DE_1, "číslo"
// names "ČÍSLO"); the first match wins.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/FieldType.h"

namespace katalog {

class TDataSet;
class TField;
class TFieldDefs;

// True when two field names are equal under the user's locale, ignoring case.
bool SameFieldName(std::string_view a, std::string_view b);

class TFieldDef {
 public:
  TFieldDef(TFieldDefs& collection, std::string name, TFieldType dataType, int size, bool required,
            int fieldNo);
  ~TFieldDef();

  const std::string& Name() const { return name_; }
  TFieldType DataType() const { return dataType_; }
  int Size() const { return size_; }
  int Precision() const { return precision_; }
  void SetPrecision(int precision) { precision_ = precision; }
  TFieldAttributes Attributes() const { return attributes_; }
  void SetAttributes(TFieldAttributes attributes) { attributes_ = attributes; }
  bool Required() const { return (attributes_ & faRequired) != 0; }
  // The 1-based column position: as given, or the definition's index + 1 when given as 0.
  int FieldNo() const;
  int Index() const;
  bool InternalCalcField() const { return internalCalcField_; }
  void SetInternalCalcField(bool value) { internalCalcField_ = value; }
  // Created on first use.
  TFieldDefs& ChildDefs();

  // Creates the default field of this definition, owned by and attached to the data set.
  // Raises "Field '%s' is of an unknown type" when no field class serves the type; a field that
  // fails a later step is freed again and the error passes on.
  TField* CreateField(TDataSet& dataSet) const;

 private:
  TFieldDefs& collection_;
  std::string name_;
  TFieldType dataType_;
  int size_;
  int precision_ = 0;
  TFieldAttributes attributes_ = 0;
  int fieldNo_;
  bool internalCalcField_ = false;
  std::unique_ptr<TFieldDefs> childDefs_;
};

class TFieldDefs {
 public:
  explicit TFieldDefs(TDataSet* dataSet) : dataSet_(dataSet) {}

  TDataSet* DataSet() const { return dataSet_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Throws std::out_of_range outside 0 .. Count() - 1.
  TFieldDef& Items(int index) const;
  // The index of the first definition with that name, or -1.
  int IndexOf(std::string_view name) const;
  TFieldDef* Find(std::string_view name) const;

  // Appends a definition; "Invalid field size" when the size breaks its field class's rule.
  TFieldDef& AddDef(std::string name, TFieldType dataType, int size = 0, bool required = false,
                    int fieldNo = 0);
  void Clear() { items_.clear(); }

  // Whether the definitions reflect the data set's current properties.
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }

 private:
  TDataSet* dataSet_;
  std::vector<std::unique_ptr<TFieldDef>> items_;
  bool updated_ = false;
};

}  // namespace katalog
