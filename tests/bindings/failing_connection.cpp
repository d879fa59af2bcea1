// A C interface whose WMI connection fails, for the bindings' failure path: the scripted
// service is installed while the library loads and stays for the process's life.
#include <support/scripted_platform/scripted_wmi.h>

namespace {

struct FailingConnection {
    FailingConnection()
    {
        wmi.Fail(platform::scripted::Step::ConnectServer, WBEM_E_INVALID_NAMESPACE);
    }
    platform::scripted::ScriptedWmi wmi;
};

const FailingConnection failingConnection;

} // namespace
