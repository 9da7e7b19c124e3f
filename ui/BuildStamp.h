#pragma once
// When this program was built, fixed by the build: the time SOURCE_DATE_EPOCH gives, or
// else the time of the commit the sources come from, so that two builds of the same
// sources say the same. In UTC.

namespace talvex {

/// "yyyy-mm-dd".
const char* BuildDate();
/// "hh:mm:ss".
const char* BuildTime();

}  // namespace talvex
