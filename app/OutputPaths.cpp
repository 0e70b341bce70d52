#include "app/OutputPaths.h"

#include <cerrno>
#include <system_error>

#include <sys/stat.h>

#include "model/AsideFile.h"
#include "model/WorkingFiles.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "study/StudyFiles.h"

namespace tarvel::app {

namespace {

// One name for one file: its device and inode when it exists (a link
// itself, or followed), else the full path with every folder and link
// resolved.
enum class Link { Itself, Followed };
std::string identityOf(const std::filesystem::path& path, Link link)
{
    struct stat info {};
    if ((link == Link::Itself ? ::lstat(path.c_str(), &info) : ::stat(path.c_str(), &info)) == 0)
        return "#" + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path.lexically_normal().string() : full.string();
}

std::string shown(const NamedPath& file)
{
    return "\"" + file.path.lexically_normal().string() + "\" (" + file.role + ")";
}

// Why the output cannot be created, or "".
std::string creationProblem(const NamedPath& output)
{
    std::filesystem::path folder = output.path.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        return "Файл " + shown(output) + " не может быть создан: папка \"" + folder.string() + "\" не найдена";
    AsideFile probe;
    if (!probe.create(output.path))
        return "Файл " + shown(output) + " не может быть создан: " + fileErrorText(probe.error());
    return {};
}

}  // namespace

std::string outputPathsProblem(const std::vector<NamedPath>& inputs, const std::vector<NamedPath>& outputs)
{
    std::vector<std::string> inputIds;
    for (const NamedPath& input : inputs)
        inputIds.push_back(identityOf(input.path, Link::Followed));
    // An output replaces a link at its name rather than writes through it;
    // one that links to an input is refused all the same, as the user meant
    // that file.
    std::vector<std::string> outputIds;
    for (const NamedPath& output : outputs) {
        const std::string id = identityOf(output.path, Link::Itself);
        const std::string target = identityOf(output.path, Link::Followed);
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if ((inputIds[i] == id || inputIds[i] == target) &&
                !(i == 0 && output.role == kWorkingFileRole && output.path.filename() == kInputFile))
                return "Файл " + shown(output) + " совпадает с входным файлом " + shown(inputs[i]) +
                       " и заменил бы его; задайте другое имя";
        for (std::size_t k = 0; k < outputIds.size(); ++k)
            if (outputIds[k] == id)
                return "Файл " + shown(output) + " совпадает с файлом " + shown(outputs[k]) +
                       ": один заменил бы другой; задайте другое имя";
        outputIds.push_back(id);
    }
    for (const NamedPath& output : outputs)
        if (std::string problem = creationProblem(output); !problem.empty())
            return problem;
    return {};
}

std::vector<NamedPath> workingFileOutputs(const std::filesystem::path& workDir)
{
    std::vector<NamedPath> files;
    for (const char* name : {kInputFile, kErrorFile, kEchoFile, kResultsFile, kDistrictFile, kCurrentsFile,
                             kLossShareFile})
        files.push_back({workDir / name, kWorkingFileRole});
    return files;
}

std::vector<NamedPath> studyOutputs(const std::filesystem::path& workDir, const StudyOutputNames& names)
{
    std::vector<NamedPath> outputs;
    const bool csv = !names.csvPrefix.empty();
    if (names.profile) {
        outputs.push_back({workDir / kTimeSeriesFile, kWorkingFileRole});
        if (csv)
            outputs.push_back({stepsCsvPath(names.csvPrefix), "--study-csv"});
        if (csv && names.outages)
            outputs.push_back({seriesViolationsCsvPath(names.csvPrefix), "--study-csv"});
    } else if (names.outages) {
        outputs.push_back({workDir / kContingencyReportFile, kWorkingFileRole});
        if (csv) {
            outputs.push_back({contingenciesCsvPath(names.csvPrefix), "--study-csv"});
            outputs.push_back({violationsCsvPath(names.csvPrefix), "--study-csv"});
        }
    }
    if (!names.json.empty() && (names.profile || names.outages))
        outputs.push_back({names.json, "--study-json"});
    return outputs;
}

}  // namespace tarvel::app
