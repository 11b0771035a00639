// SPDX-License-Identifier: GPL-3.0-or-later
#include "decode/readout.h"

#include <cstdarg>
#include <cstdio>

namespace nimbo {

void setLabel(LabelText& label, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(label.data(), label.size(), format, args);
    va_end(args);
}

} // namespace nimbo
