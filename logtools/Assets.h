// What the program carries inside itself (the build generates the definitions with
// cmake/EmbedFiles.cmake): the report page's template, its style and script, and uPlot's script and
// style (logtools/report/ and the pinned uPlot); the plots' font, DejaVu Sans from Debian's
// fonts-dejavu-core, so corvane-log.exe draws text on any Windows.
#pragma once

#include <string_view>

namespace corvane::logtools::assets {

std::string_view PageTemplate();
std::string_view PageStyle();
std::string_view PageScript();
std::string_view UplotScript();
std::string_view UplotStyle();
std::string_view DejaVuSans();

}  // namespace corvane::logtools::assets
