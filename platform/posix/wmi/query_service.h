// A WMI service over a fixed set of classes: the locator connects to ROOT\CIMV2, whose
// WQL queries are answered from the classes' instances with only the selected properties.
#pragma once

#include "instance.h"

#include <platform/com_wmi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::wmi {

struct ClassDefinition {
    std::wstring name;
    std::vector<std::wstring> properties;
    // Called by each query of the class; every instance holds each of the properties.
    // Throws ListingFailure when the instances cannot be listed in full.
    std::function<std::vector<Instance>()> instances;
};

// The query fails with this status rather than answer with fewer objects than there are.
struct ListingFailure {
    HRESULT status;
};

// *locator receives one reference to a new locator over the classes.
HRESULT CreateLocator(std::shared_ptr<const std::vector<ClassDefinition>> classes,
                      IWbemLocator** locator);

// The checks of ConnectServer and ExecQuery that do not depend on what a service holds.
bool IsServedNamespace(LPCWSTR name);
bool IsQueryLanguage(LPCWSTR language);
// ExecQuery's pointer checks: clears *ppEnum and gives WBEM_E_INVALID_PARAMETER for a
// missing argument, else S_OK.
HRESULT CheckQueryArguments(LPCWSTR strQueryLanguage, LPCWSTR strQuery,
                            IEnumWbemClassObject** ppEnum);

} // namespace platform::wmi
