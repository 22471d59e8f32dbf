// The field-class table: which field class serves a column type, and the size rule of that
// class.
#pragma once

#include "dataset/FieldType.h"

namespace katalog {

class TComponent;
class TField;

// A new field of the class that serves the type, owned by `owner`; none for ftUnknown and
// ftCursor.
TField* NewFieldOfType(TFieldType type, TComponent* owner);

// The size rule of the type's class: strings 0 .. 8192, BCD 0 .. 32, bytes above 0, blobs and
// structured types any size from 0, every other class 0 only.
bool IsValidFieldSize(TFieldType type, int size);

}  // namespace katalog
