#include "programs/program_permissions.h"

namespace vrk::programs {

ProgramVerdict ProgramPermissions::verdict(const std::string& projectKey,
                                           const std::string& commandLineSjis) const {
    const auto found = m_allowed.find({projectKey, commandLineSjis});
    if (found == m_allowed.end()) {
        return ProgramVerdict::Ask;
    }
    return found->second ? ProgramVerdict::Allowed : ProgramVerdict::Refused;
}

void ProgramPermissions::record(const std::string& projectKey, const std::string& commandLineSjis,
                                ProgramAnswer answer) {
    if (answer == ProgramAnswer::AllowOnce) {
        return;
    }
    m_allowed[{projectKey, commandLineSjis}] = answer == ProgramAnswer::AllowForProject;
}

bool ProgramPermissions::mayStart(const std::string& projectKey, const std::string& commandLineSjis,
                                  const std::function<ProgramAnswer()>& ask) {
    switch (verdict(projectKey, commandLineSjis)) {
        case ProgramVerdict::Allowed:
            return true;
        case ProgramVerdict::Refused:
            return false;
        case ProgramVerdict::Ask:
            break;
    }
    const ProgramAnswer answer = ask ? ask() : ProgramAnswer::Refuse;
    record(projectKey, commandLineSjis, answer);
    return answer != ProgramAnswer::Refuse;
}

void ProgramPermissions::forgetProject(const std::string& projectKey) {
    std::erase_if(m_allowed, [&](const auto& entry) { return entry.first.first == projectKey; });
}

}  // namespace vrk::programs
