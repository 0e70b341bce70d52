#include "losses/LossAllocation.h"

namespace tarvel {

bool allocateLosses(NetworkModel&, const std::filesystem::path&, MessageSink&)
{
    return false;  // placeholder
}

}  // namespace tarvel
