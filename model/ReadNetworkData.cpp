#include "model/ReadNetworkData.h"

namespace tarvel {

bool readNetworkData(NetworkModel&, const std::filesystem::path&, MessageSink&)
{
    return false;  // placeholder until the reader lands
}

}  // namespace tarvel
