// How the collections read the index argument of their Item member: a
// number (any numeric VARIANT type) or a text, by value or by reference.

#ifndef TOLLAN_READER_MODEL_COLLECTION_KEY_H_
#define TOLLAN_READER_MODEL_COLLECTION_KEY_H_

#include <string>

#include "platform/com/interfaces.h"

namespace kestrel {

struct CollectionKey {
  bool is_number = false;
  double number = 0;   // when is_number
  std::string text;    // UTF-8: the text, or the number written out
};

// False when the argument is neither a number nor a text (an object, Null,
// Empty, a missing argument).
bool ReadCollectionKey(const VARIANT* argument, CollectionKey* key);

// A text that reads as a number ("3", " 3 ", "3.0"), as a number.
bool TextReadsAsNumber(const std::string& text, double* number);

// The 1-based position a number names, rounded half to even; 0 when it is
// not a whole position in 1..count.
size_t PositionOf(double number, size_t count);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_COLLECTION_KEY_H_
