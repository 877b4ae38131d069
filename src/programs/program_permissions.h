#pragma once
// A story may name any program on the reader's machine, so the window asks the reader
// the first time a project wants to start a given command line. This remembers the
// answers for the rest of the run; it asks nothing itself.

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace vrk::programs {

/// The reader's answer to "this story wants to start a program".
enum class ProgramAnswer { AllowOnce, AllowForProject, Refuse };

/// What is known before asking.
enum class ProgramVerdict { Ask, Allowed, Refused };

class ProgramPermissions {
public:
    /// Allowed or Refused when an answer for this project and command line is remembered,
    /// else Ask. Command lines compare byte for byte.
    ProgramVerdict verdict(const std::string& projectKey, const std::string& commandLineSjis) const;
    /// Remembers AllowForProject and Refuse; AllowOnce leaves the next start to ask again.
    void record(const std::string& projectKey, const std::string& commandLineSjis, ProgramAnswer answer);
    /// The remembered verdict, or ask() (called only then) recorded; true when the program
    /// may start now.
    bool mayStart(const std::string& projectKey, const std::string& commandLineSjis,
                  const std::function<ProgramAnswer()>& ask);
    /// Forgets the answers for one project (so that reopening it asks again, if wanted).
    void forgetProject(const std::string& projectKey);

private:
    std::map<std::pair<std::string, std::string>, bool> m_allowed;
};

}  // namespace vrk::programs
