// What every fuzz target needs besides its input: a sink that tells nothing
// and a private working folder in memory where the system has one.
#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/MessageSink.h"

namespace fuzz {

class QuietSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string&) override {}
    void warning(const std::string&) override {}
};

// The target's own folder, made on the first call: /dev/shm/NAME-PID, or the
// same in the temporary folder.
inline std::filesystem::path workDir(const char* name)
{
    static const std::filesystem::path dir = [name] {
        const char* shm = "/dev/shm";
        const std::filesystem::path base =
            std::filesystem::exists(shm) ? std::filesystem::path(shm) : std::filesystem::temp_directory_path();
        auto d = base / (std::string(name) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

}  // namespace fuzz
