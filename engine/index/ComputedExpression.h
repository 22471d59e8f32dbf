// The expression of a computed field, read into a condition tree that the filter evaluator
// computes for every record.
//
//   expression  := or
//   or          := and { OR and }            and := not { AND not }
//   not         := NOT not | comparison      comparison := sum [ relation sum ]
//   sum         := product { (+ | -) product }
//   product     := unary { (* | /) unary }   unary := (- | +) unary | primary
//   primary     := number | 'text' | NULL | TRUE | FALSE | field | [field name]
//                | function ( expression { , expression } ) | ( expression )
//   relation    := = | <> | < | > | <= | >=
//   function    := UPPER | LOWER | SUBSTRING (text, start [, length]) | TRIM | LTRIM | RTRIM
//                  (text [, character]) | YEAR | MONTH | DAY
//
// Keywords and function names are read without regard to case; numbers use '.' as the decimal
// point ("2.5"), integers are 32-bit integers and others floats; 'it''s' is a quote in a text.
// A field is a name of the table's working fields, compared without regard to case.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/FilterTree.h"

namespace katalog {

// The tree of a computed field's expression; EIsamEngineError kInvalidFilterExpression for a text
// that is not an expression, kInvalidField for a field name the table does not have.
std::unique_ptr<TFilterNode> ParseComputedExpression(std::string_view text,
                                                     const std::vector<TFieldDescriptor>& fields,
                                                     const std::string& fileName);

}  // namespace katalog
