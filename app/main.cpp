#include "console_flow.h"

#include <platform/console.h>

int main()
{
    platform::ContinueWhenOutputCloses();
    return computer_id_app::RunConsole(platform::WaitForKey);
}
