// The architecture code of this toolkit, used in banners, native shader names
// and "$ARCH" in search paths. One constant everywhere.
#pragma once

namespace velk {
inline constexpr const char ARCH_CODE[] = "intelnt";
}
