// No C++ exception crosses an export: a failure inside becomes ERR_OTHER.
#pragma once

#include "api/result_codes.h"

#include <cstdint>

namespace api {

template <typename Body>
int32_t Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return ERR_OTHER;
    }
}

}  // namespace api
