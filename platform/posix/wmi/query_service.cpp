#include "query_service.h"

#include "com_object.h"
#include "wql.h"

#include "../unicode.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

namespace platform::wmi {

namespace {

using Classes = std::shared_ptr<const std::vector<ClassDefinition>>;

class ClassObject final : public ComObject<IWbemClassObject> {
public:
    explicit ClassObject(Instance instance) : instance_(std::move(instance)) {}

    HRESULT Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                LONG* plFlavor) override
    {
        return GetProperty(instance_, wszName, lFlags, pVal, pType, plFlavor);
    }

private:
    Instance instance_;
};

// The result objects are made when the query runs, so that handing them out takes no memory:
// a Next that failed for want of it would look like the end of the results.
class Enumerator final : public ComObject<IEnumWbemClassObject> {
public:
    explicit Enumerator(std::vector<Instance> results)
    {
        objects_.reserve(results.size());
        for (Instance& result : results) {
            objects_.emplace_back(new ClassObject(std::move(result)));
        }
    }

    HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                 ULONG* puReturned) override
    {
        if (const HRESULT status = BeginNext(lTimeout, uCount, apObjects, puReturned);
            FAILED(status)) {
            return status;
        }
        while (*puReturned < uCount && next_ < objects_.size()) {
            apObjects[(*puReturned)++] = objects_[next_++].release();
        }
        return *puReturned == uCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }

private:
    struct Release {
        void operator()(IWbemClassObject* object) const { object->Release(); }
    };
    std::vector<std::unique_ptr<IWbemClassObject, Release>> objects_;
    std::size_t next_ = 0;
};

bool ContainsName(const std::vector<std::wstring>& names, std::wstring_view name)
{
    return std::any_of(names.begin(), names.end(), [name](const std::wstring& candidate) {
        return EqualsIgnoreCase(candidate, name);
    });
}

// The instances as the query sees them: a property left out of the select list is not
// part of the result object at all.
std::vector<Instance> Project(std::vector<Instance> instances, const SelectQuery& query)
{
    if (query.allProperties) {
        return instances;
    }
    for (Instance& instance : instances) {
        std::erase_if(instance, [&query](const Property& property) {
            return !ContainsName(query.properties, property.name);
        });
    }
    return instances;
}

class Services final : public ComObject<IWbemServices> {
public:
    explicit Services(Classes classes) : classes_(std::move(classes)) {}

    HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG, IWbemContext*,
                      IEnumWbemClassObject** ppEnum) override
    {
        if (const HRESULT status = CheckQueryArguments(strQueryLanguage, strQuery, ppEnum);
            FAILED(status)) {
            return status;
        }
        if (!IsQueryLanguage(strQueryLanguage)) {
            return WBEM_E_INVALID_QUERY_TYPE;
        }
        const std::optional<SelectQuery> query = ParseSelect(strQuery);
        if (!query) {
            return WBEM_E_INVALID_QUERY;
        }
        const auto definition = std::find_if(
            classes_->begin(), classes_->end(), [&query](const ClassDefinition& candidate) {
                return EqualsIgnoreCase(candidate.name, query->className);
            });
        if (definition == classes_->end()) {
            return WBEM_E_INVALID_CLASS;
        }
        for (const std::wstring& property : query->properties) {
            if (!ContainsName(definition->properties, property)) {
                return WBEM_E_INVALID_QUERY;
            }
        }
        try {
            *ppEnum = new Enumerator(Project(definition->instances(), *query));
        } catch (const ListingFailure& failure) {
            return failure.status;
        } catch (const std::bad_alloc&) {
            return WBEM_E_OUT_OF_MEMORY;
        }
        return WBEM_S_NO_ERROR;
    }

private:
    Classes classes_;
};

class Locator final : public ComObject<IWbemLocator> {
public:
    explicit Locator(Classes classes) : classes_(std::move(classes)) {}

    HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR, const BSTR, const BSTR, LONG,
                          const BSTR, IWbemContext*, IWbemServices** ppNamespace) override
    {
        if (ppNamespace == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        *ppNamespace = nullptr;
        if (strNetworkResource == nullptr) {
            return WBEM_E_INVALID_PARAMETER;
        }
        if (!IsServedNamespace(strNetworkResource)) {
            return WBEM_E_INVALID_NAMESPACE;
        }
        auto* services = new (std::nothrow) Services(classes_);
        if (services == nullptr) {
            return WBEM_E_OUT_OF_MEMORY;
        }
        *ppNamespace = services;
        return WBEM_S_NO_ERROR;
    }

private:
    Classes classes_;
};

} // namespace

HRESULT CreateLocator(Classes classes, IWbemLocator** locator)
{
    auto* created = new (std::nothrow) Locator(std::move(classes));
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *locator = created;
    return S_OK;
}

bool IsServedNamespace(LPCWSTR name)
{
    return EqualsIgnoreCase(name, L"ROOT\\CIMV2");
}

bool IsQueryLanguage(LPCWSTR language)
{
    return EqualsIgnoreCase(language, L"WQL");
}

HRESULT CheckQueryArguments(LPCWSTR strQueryLanguage, LPCWSTR strQuery,
                            IEnumWbemClassObject** ppEnum)
{
    if (ppEnum == nullptr) {
        return WBEM_E_INVALID_PARAMETER;
    }
    *ppEnum = nullptr;
    if (strQueryLanguage == nullptr || strQuery == nullptr) {
        return WBEM_E_INVALID_PARAMETER;
    }
    return S_OK;
}

} // namespace platform::wmi
