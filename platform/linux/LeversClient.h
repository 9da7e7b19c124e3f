#pragma once
// Talvex's side of talvex-levers, the small program that alone holds the right to raise
// priorities: it starts the program with one end of a SOCK_SEQPACKET socket pair as
// descriptor 3 and an empty environment, and asks it one request at a time. The
// program ends when its socket closes, so it never outlives this object.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "levers/LeverProtocol.h"

namespace talvex::platform {

class LeversClient {
  public:
    /// Starts `program`; Running() tells whether it came up and greeted.
    explicit LeversClient(const std::string& program);
    ~LeversClient();
    LeversClient(const LeversClient&) = delete;
    LeversClient& operator=(const LeversClient&) = delete;

    bool Running() const { return m_fd >= 0; }
    /// The lowest nice value the program hands out.
    int Floor() const { return m_floor; }
    /// Its answer to one request; nullopt when it did not answer (it is then dropped).
    std::optional<levers::Answer> Ask(const levers::Request& request);

  private:
    std::optional<levers::Answer> Receive();
    void Stop();

    int m_fd = -1;
    pid_t m_pid = -1;
    int m_floor = 0;
};

/// Where the helper is for the program file `self`: beside it (a copy for tests), in
/// ../libexec/talvex (installed), or in ../levers (the build tree). Empty when none is.
std::string FindLeversProgram(const std::string& self);
/// The helper for this running program (see FindLeversProgram); empty when none is.
std::string DefaultLeversProgram();
/// Starts the helper `program` (by default DefaultLeversProgram()); null when this
/// program holds the right itself (run as root, say), or the helper did not come up.
std::unique_ptr<LeversClient> StartLeversHelper(std::optional<std::string> program = {});

}  // namespace talvex::platform
