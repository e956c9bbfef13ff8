#include "adnet/AdNetVersion.h"

namespace adnet {

const char* version()
{
    return ADNET_VERSION_STRING;
}

} // namespace adnet
