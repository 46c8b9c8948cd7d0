// What qwpack list shows of a launcher itself: its version resource and
// the brand it carries.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Version resource and brand as text, each a block followed by a blank line.
void PrintLauncherResources(const std::string& program);

// {"version_resource": {...} or null, "brand": {...} or null}.
nlohmann::json LauncherResourcesJson(const std::string& program);
