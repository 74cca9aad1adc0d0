#pragma once

#include "platform/result.h"
#include "trophies/decoding_error.h"

namespace hopster {

// Either a decoded value or the error that stopped its decoding.
template <class T>
using DecodeResult = Result<T, DecodingError>;

}  // namespace hopster
