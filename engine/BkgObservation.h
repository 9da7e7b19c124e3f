#pragma once
// Background process observation: busy background processes are lowered to Idle or
// Below Normal, idle ones set back to Normal. No memory of its own: every decision is
// made from the process's present class and its usage of this tick.

#include <cstdint>
#include <string>

namespace talvex {

class Engine;
class StringTable;
struct ProcessEntry;

/// Judges one entry that is not the program in front.
void ObserveBackground(Engine& engine, ProcessEntry& entry);

/// Name of a priority class in the log's words.
std::string ClassWord(const StringTable& strings, std::int32_t priorityClass);

}  // namespace talvex
