#pragma once
// Background process observation: busy background processes are lowered to Idle or
// Below Normal, idle ones set back to Normal. No memory of its own: every decision is
// made from the process's present class and its usage of this tick.

namespace talvex {

class Engine;
struct ProcessEntry;

/// Judges one entry that is not the program in front.
void ObserveBackground(Engine& engine, ProcessEntry& entry);

}  // namespace talvex
