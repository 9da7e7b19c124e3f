#pragma once
// Background process observation: busy background processes are lowered to Idle or
// Below Normal, idle ones get back what Talvex took. Decisions are made from the
// process's present class, its usage of this tick and what Talvex holds changed.

#include <cstdint>
#include <string>

namespace talvex {

class Engine;
class StringTable;
struct ProcessEntry;

/// Judges one entry that is not the program in front. Sound servers and processes with
/// a real-time thread are never lowered; a process whose priority another program
/// changed after Talvex set it is left alone (see YieldToOtherChange).
void ObserveBackground(Engine& engine, ProcessEntry& entry);

/// When another program changed the priority Talvex set on process lPid, Talvex puts
/// back what is still its own, leaves the program alone until it next comes to the
/// front, lists it and logs it once; true then. False when nothing of Talvex's was
/// changed (or lPid is 0 or Talvex itself). `sExeName` names the program where the
/// process table does not.
bool YieldToOtherChange(Engine& engine, std::int32_t lPid, const std::string& sExeName = {});

/// Name of a priority class in the log's words.
std::string ClassWord(const StringTable& strings, std::int32_t priorityClass);

}  // namespace talvex
