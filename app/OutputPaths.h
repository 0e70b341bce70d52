// The files a command-line run reads and writes, weighed before it computes
// anything: an output that is one of the inputs, or another output, would
// replace it; one that cannot be created would be known only at the end of
// a study that may last hours.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvel::app {

// A file named on the command line (or a working file) and what it is, as
// the messages name it ("--json", "исходные данные", "network.rez").
struct NamedPath {
    std::filesystem::path path;
    std::string role;
};
inline constexpr const char* kWorkingFileRole = "рабочий файл";

// The first problem of the outputs, or "": an output that is the same file
// as an input or as another output (by the file itself, whatever the
// spelling of its name, a link or a folder on the way), or one that cannot
// be created where it is to be (its folder missing, not writable, or a
// folder in its place). Nothing is written but a probe, removed at once.
// The first input is the network's, which network.cdu may be.
std::string outputPathsProblem(const std::vector<NamedPath>& inputs, const std::vector<NamedPath>& outputs);

// The working files a calculation in workDir writes (network.cdu and the
// reports, losses.rez), as outputs; network.cdu may be the input itself,
// which is read whole before it is rewritten with the same network.
std::vector<NamedPath> workingFileOutputs(const std::filesystem::path& workDir);

// The files of a study: timeseries.rez of a load profile (with or without
// the N-1 of its steps) or contingency.rez of the N-1 alone, and the tables
// of --study-csv and --study-json when given.
struct StudyOutputNames {
    bool profile = false;
    bool outages = false;
    std::filesystem::path csvPrefix;
    std::filesystem::path json;
};
std::vector<NamedPath> studyOutputs(const std::filesystem::path& workDir, const StudyOutputNames& names);

}  // namespace tarvel::app
