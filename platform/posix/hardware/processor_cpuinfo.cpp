// The processor of a machine whose architecture has no register this project decodes.
#include "processor.h"

namespace platform::hardware {

ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files)
{
    return CpuinfoProcessor(root, files);
}

} // namespace platform::hardware
