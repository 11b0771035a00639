// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch folders for tests: unique to the run, so that runs side by side never meet,
// and removed when the test program ends.
#pragma once

#include <string>

namespace nimbo::test {

// A new empty folder beneath the system's temporary folder, its name starting with
// "nimbo-<name>-".
std::string scratchDir(const std::string& name);

} // namespace nimbo::test
