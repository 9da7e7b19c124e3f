#pragma once
// Shell for tests: records what it was asked to open and answers with a set result.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/IShell.h"

namespace talvex::platform {

class FakeShell final : public IShell {
  public:
    struct Call {
        std::string sVerb, sFile, sParameters, sDirectory;
        std::int32_t nShowCmd = 0;
    };

    /// The result of the next calls (a success by default).
    void SetResult(std::int32_t result) { m_result = result; }
    const std::vector<Call>& Calls() const { return m_calls; }

    std::int32_t ShellExecute(const std::string& sVerb, const std::string& sFile,
                              const std::string& sParameters, const std::string& sDirectory,
                              std::int32_t nShowCmd) override {
        m_calls.push_back(Call{sVerb, sFile, sParameters, sDirectory, nShowCmd});
        return m_result;
    }

  private:
    std::vector<Call> m_calls;
    std::int32_t m_result = kShellOk;
};

}  // namespace talvex::platform
