#include "engine/index/FilterTree.h"
#include "dataset/FieldDefs.h"

#include <cstring>

#include "engine/storage/IsamError.h"
#include "platform/ByteOrder.h"

namespace katalog {

std::unique_ptr<TFilterNode> TFilterNode::Copy() const {
  auto copy = std::make_unique<TFilterNode>();
  copy->Class = Class;
  copy->Operator = Operator;
  copy->Level = Level;
  copy->FieldName = FieldName;
  copy->FieldNumber = FieldNumber;
  copy->Value = Value;
  copy->NullConstant = NullConstant;
  copy->PartialLength = PartialLength;
  copy->CaseInsensitive = CaseInsensitive;
  if (Left) copy->Left = Left->Copy();
  if (Right) copy->Right = Right->Copy();
  return copy;
}

namespace {

// A compiled condition is at most 64 KB and its nodes at least 8 bytes: deeper nesting than this
// can only come from a cycle or a damaged block.
constexpr int kMaxDepth = 1024;

class TConditionReader {
 public:
  TConditionReader(const std::vector<std::uint8_t>& bytes,
                   const std::vector<TFieldDescriptor>& fields, const std::string& fileName)
      : bytes_(bytes), fields_(fields), fileName_(fileName) {
    if (bytes.size() < 10) Fail();
    nodes_ = LoadU16(bytes.data() + 6);
    literals_ = LoadU16(bytes.data() + 8);
    if (nodes_ < 10 || nodes_ > bytes.size() || literals_ > bytes.size()) Fail();
  }

  std::unique_ptr<TFilterNode> Node(std::size_t offset, int depth) {
    if (depth > kMaxDepth) Fail();
    const std::size_t at = nodes_ + offset;
    Need(at, 8);
    auto node = std::make_unique<TFilterNode>();
    node->Class = static_cast<int>(LoadU32(&bytes_[at]));
    node->Operator = static_cast<int>(LoadU32(&bytes_[at + 4]));
    switch (node->Class) {
      case fc::kUnary:
        node->Left = Node(Word(at, 0), depth + 1);
        break;
      case fc::kBinary:
        node->Left = Node(Word(at, 0), depth + 1);
        node->Right = Node(Word(at, 1), depth + 1);
        break;
      case fc::kCompare:
        node->CaseInsensitive = Word(at, 0) != 0;
        node->PartialLength = static_cast<std::uint8_t>(Word(at, 1));
        node->Left = Node(Word(at, 2), depth + 1);
        node->Right = Node(Word(at, 3), depth + 1);
        break;
      case fc::kField:
        FieldNode(*node, Text(Word(at, 1)));
        break;
      case fc::kConstant:
        ConstantNode(*node, static_cast<std::uint8_t>(Word(at, 0)),
                     static_cast<std::uint8_t>(Word(at, 1)), Word(at, 2));
        break;
      default:
        Fail();
    }
    return node;
  }

 private:
  [[noreturn]] void Fail() const { RaiseIsamError(ie::kInvalidFilterExpression, fileName_); }
  void Need(std::size_t at, std::size_t count) const {
    if (at + count > bytes_.size()) Fail();
  }
  std::size_t Word(std::size_t node, int operand) const {
    const std::size_t at = node + 8 + 2 * static_cast<std::size_t>(operand);
    Need(at, 2);
    return LoadU16(&bytes_[at]);
  }
  std::string Text(std::size_t offset) const {
    const std::size_t at = literals_ + offset;
    if (at >= bytes_.size()) Fail();
    const void* end = std::memchr(&bytes_[at], 0, bytes_.size() - at);
    if (!end) Fail();
    return std::string(reinterpret_cast<const char*>(&bytes_[at]),
                       static_cast<const std::uint8_t*>(end) - &bytes_[at]);
  }

  void FieldNode(TFilterNode& node, std::string name) {
    for (const TFieldDescriptor& field : fields_) {
      if (SameFieldName(field.Name, name)) {
        node.FieldName = field.Name;
        node.FieldNumber = field.FieldNumber;
        node.Value.Type = field.FieldTypeCode;
        node.Value.Decimals = field.PhysicalScale;
        return;
      }
    }
    RaiseIsamError(ie::kInvalidField, fileName_, name);
  }

  void ConstantNode(TFilterNode& node, std::uint8_t type, std::uint8_t size, std::size_t offset) {
    const std::size_t at = literals_ + offset;
    Need(at, size);
    const std::uint8_t* data = bytes_.data() + at;
    TFilterValue& value = node.Value;
    value.Type = type;
    value.Null = false;
    auto need = [&](std::size_t n) {
      if (size < n) Fail();
    };
    switch (type) {
      case 1: {
        const void* end = std::memchr(data, 0, size);
        value.Text.assign(reinterpret_cast<const char*>(data),
                          end ? static_cast<const std::uint8_t*>(end) - data : size);
        // The empty text is the null constant: it stands for a missing value, as an empty
        // string field is null.
        node.NullConstant = size == 1;
        value.Null = node.NullConstant;
        break;
      }
      case 2:
      case 6:
      case 10:
        need(4);
        value.Integer = LoadI32(data);
        break;
      case 4:
        need(2);
        value.Integer = LoadU16(data) != 0;
        break;
      case 5:
        need(2);
        value.Integer = LoadI16(data);
        break;
      case 12:
        need(2);
        value.Integer = LoadU16(data);
        break;
      case 7:
      case 11:
        need(8);
        value.Float = LoadDouble(data);
        break;
      case 8:
        need(8);
        value.Integer = LoadI64(data);
        value.Decimals = 4;
        break;
      default:
        Fail();
    }
  }

  const std::vector<std::uint8_t>& bytes_;
  const std::vector<TFieldDescriptor>& fields_;
  const std::string& fileName_;
  std::size_t nodes_ = 0;
  std::size_t literals_ = 0;
};

}  // namespace

std::unique_ptr<TFilterNode> ConvertCondition(const std::vector<std::uint8_t>& condition,
                                              const std::vector<TFieldDescriptor>& fields,
                                              const std::string& fileName) {
  TConditionReader reader(condition, fields, fileName);
  return reader.Node(0, 0);
}

}  // namespace katalog
