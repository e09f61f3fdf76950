// What the report's page is made of, built into the program (the build generates their
// definitions from logtools/report/ and the pinned uPlot): the page's template, its style and
// script, and uPlot's script and style.
#pragma once

#include <string_view>

namespace corvane::logtools::assets {

std::string_view PageTemplate();
std::string_view PageStyle();
std::string_view PageScript();
std::string_view UplotScript();
std::string_view UplotStyle();

}  // namespace corvane::logtools::assets
