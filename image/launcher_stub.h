// The program a package is appended to: checks that it can carry one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Empty when `stub` is a PE program whose PE header begins at offset 136 or
// later, that carries no package yet and no signature, and that leaves room
// for a package below 2 GiB; otherwise what is wrong, as a sentence.
std::string CheckLauncherStub(const std::vector<uint8_t>& stub);
