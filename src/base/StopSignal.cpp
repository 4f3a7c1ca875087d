#include "base/StopSignal.h"

#include <sddl.h>

namespace {

// SYSTEM, the built-in administrators and the object's owner: full access.
// Other users get nothing: they may not end someone else's touch driver.
constexpr const char* kStopObjectSddl = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)";

} // namespace

StopObjectSecurity::StopObjectSecurity()
{
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kStopObjectSddl, SDDL_REVISION_1,
                                                                &m_descriptor, nullptr)) {
        m_descriptor = nullptr;
        return;
    }
    m_attributes.nLength = sizeof m_attributes;
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}

StopObjectSecurity::~StopObjectSecurity()
{
    if (m_descriptor != nullptr) ::LocalFree(m_descriptor);
}
