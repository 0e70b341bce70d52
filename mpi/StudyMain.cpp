// tarvel-study: the studies of tarvel-cli (--profile, with --contingencies
// the N-1 of every step) split over the processes of an MPI job.
//
// Rank 0 reads the input, the profile, the outage list and the limits and
// broadcasts their bytes; every rank builds the same network, profile,
// outages and limits from them and solves a contiguous share of the work (of
// the steps, or of the pairs of a step and an outage) on its cores; rank 0
// gathers the shares in rank order and alone writes the files, the same
// bytes tarvel-cli writes on one machine.
// Every failure becomes a status that all ranks learn (MPI_Allreduce), so the
// job ends with a message and a non-zero status instead of waiting.
#include <mpi.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <tbb/global_control.h>

#include "app/CalculationRun.h"
#include "app/CaseImport.h"
#include "app/CommandLine.h"
#include "app/FolderLock.h"
#include "app/OutputPaths.h"
#include "app/SeriesStudy.h"
#include "interchange/CaseImport.h"
#include "model/MessageSink.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"
#include "study/StudyInput.h"

namespace {

constexpr int kExitSolved = 0;
constexpr int kExitRejected = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotConverged = 3;
constexpr int kExitInsecure = 4;

constexpr const char* kUsage =
    "Использование: tarvel-study [--precision P] [--iterations N] [--workdir DIR] [--base-kv KV]\n"
    "                    --profile FILE [--contingencies all|FILE] [--limits FILE] [--threads N]\n"
    "                    [--study-csv PREFIX] [--study-json FILE] INPUT\n"
    "Запуск: mpirun -np N tarvel-study ... (или srun tarvel-study ... под Slurm)\n";

struct Options {
    tarvel::CalculationSettings settings;
    double baseKv = 220.0;
    std::filesystem::path workDir = ".";
    std::filesystem::path input;
    std::filesystem::path profile;
    std::string contingencies;  // "all" or a file; empty: no N-1
    std::filesystem::path limitsFile;
    int threads = 0;            // each process's; 0: every core
    tarvel::SeriesOutputs outputs;
};

// What rank 0 reads and every rank builds the study from.
struct InputBytes {
    std::string input, profile, outages, limits;
};

// The run of an imported case: its text and what a study takes from it.
struct ImportedInput {
    std::string text;
    bool fromCase = false;  // an imported case, solved as tarvel::importedMethod says
    tarvel::StoredVoltages storedVoltages;
    tarvel::NodeAreas areas;
    tarvel::CaseStudyData caseData;
};

class StderrSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string& text) override { print(text); }
    void warning(const std::string& text) override { print(text); }
    static void print(std::string text)
    {
        for (char& c : text)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

// Parses the command line; "" when it is right, else what is wrong.
std::string parseOptions(int argc, char** argv, Options& options)
{
    bool haveInput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 2 && arg.starts_with("--")) {
            std::string name = arg, value;
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            } else {
                if (i + 1 >= argc)
                    return "не задано значение параметра " + name;
                value = argv[++i];
            }
            if (name == "--precision") {
                float v = 0;
                const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
                if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
                    !std::isfinite(v) || !(v > 0))
                    return "точность должна быть положительным числом: " + value;
                options.settings.precision = v;
            } else if (name == "--iterations") {
                if (std::string problem = tarvel::app::iterationsProblem(value, options.settings.iteraz);
                    !problem.empty())
                    return problem;
            } else if (name == "--base-kv") {
                double v = 0;
                const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
                if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
                    !std::isfinite(v) || v < 0.1 || v > 1500)
                    return "базисное напряжение должно быть числом от 0.1 до 1500 кВ: " + value;
                options.baseKv = v;
            } else if (value.empty()) {
                return "не задано значение параметра " + name;
            } else if (name == "--workdir") {
                options.workDir = value;
            } else if (name == "--profile") {
                options.profile = value;
            } else if (name == "--contingencies") {
                options.contingencies = value;
            } else if (name == "--limits") {
                options.limitsFile = value;
            } else if (name == "--threads") {
                int v = 0;
                const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
                if (r.ec != std::errc() || r.ptr != value.data() + value.size() || v < 1 || v > 1024)
                    return "число потоков должно быть целым числом от 1 до 1024: " + value;
                options.threads = v;
            } else if (name == "--study-csv") {
                options.outputs.csvPrefix = value;
            } else if (name == "--study-json") {
                options.outputs.jsonPath = value;
            } else {
                return "неизвестный параметр " + arg;
            }
            continue;
        }
        if (haveInput)
            return "лишний параметр " + arg;
        options.input = arg;
        haveInput = true;
    }
    if (!haveInput)
        return "не задан файл исходных данных";
    if (options.profile.empty())
        return "не задан график нагрузки (--profile FILE)";
    options.outputs.workDir = options.workDir;
    return "";
}

// The whole job's status: the largest of every rank's.
int agree(int status)
{
    int all = 0;
    MPI_Allreduce(&status, &all, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    return all;
}

// Rank 0's bytes on every rank.
void broadcast(std::string& bytes)
{
    unsigned long long size = bytes.size();
    MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    bytes.resize(size);
    // In pieces, so that a count never overflows MPI's int.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t at = 0; at < size; at += kPiece)
        MPI_Bcast(bytes.data() + at, static_cast<int>(std::min<std::size_t>(kPiece, size - at)), MPI_BYTE, 0,
                  MPI_COMM_WORLD);
}

// The ЦДУ text of the input and, for an imported case, its buses' areas and
// what a study takes from it (as tarvel-cli imports it); the conversion's
// summary is printed by rank 0 only.
bool importInput(const std::string& bytes, const Options& options, bool print, ImportedInput& out)
{
    const tarvel::InputFormat format = tarvel::detectInputFormat(bytes);
    if (format == tarvel::InputFormat::Cdu) {
        out.text = tarvel::cp1251ToUtf8(bytes);  // the calculation gives its lines CR LF
        return true;
    }
    const tarvel::CaseReadResult read = tarvel::readCase(bytes, format);
    tarvel::app::ImportResult converted;
    if (read.ok)
        converted = tarvel::app::importCase(read.data,
                                            {options.baseKv, options.settings.precision, options.settings.method});
    if (!read.ok || !converted.ok) {
        if (print)
            std::fprintf(stderr, "Импорт невозможен: %s\n", (read.ok ? converted.error : read.error).c_str());
        return false;
    }
    if (print)
        std::fputs(converted.imported.summary.c_str(), stderr);
    out.text = std::move(converted.imported.text);
    out.fromCase = true;
    out.storedVoltages = std::move(converted.imported.storedVoltages);
    out.areas = tarvel::nodeAreasOf(converted.imported.busAreas);
    out.caseData.branchRecordOfCaseBranch = std::move(converted.imported.branchRecordOfCaseBranch);
    out.caseData.branchRatingMva = std::move(converted.imported.branchRatingMva);
    out.caseData.branchChargingShuntS = std::move(converted.imported.branchChargingShuntS);
    if (format == tarvel::InputFormat::Matpower)
        out.caseData.caseName = tarvel::caseFunctionName(bytes);
    return true;
}

// Builds the job: the network and profile, the limits and the outages.
// Messages by rank 0 only; false when something cannot be taken.
bool prepareJob(const InputBytes& bytes, const Options& options, bool print,
                std::shared_ptr<const tarvel::SeriesJob>& job)
{
    ImportedInput imported;
    if (!importInput(bytes.input, options, print, imported))
        return false;
    const tarvel::app::StudyFileBytes studyBytes{bytes.outages, bytes.limits};
    tarvel::app::SeriesRequest request;
    request.text = imported.text;
    request.profileBytes = bytes.profile;
    request.areas = imported.areas;
    request.caseData = imported.caseData;
    request.files = {tarvel::app::outagesFileOfOption(options.contingencies), options.limitsFile};
    request.withOutages = !options.contingencies.empty();
    request.studyBytes = &studyBytes;
    tarvel::app::SeriesSetUp setUp = tarvel::app::prepareSeries(request, options.settings);
    if (print && !setUp.note.empty())
        std::fprintf(stderr, "%s\n", setUp.note.c_str());
    if (setUp.problem) {
        if (print)
            std::fprintf(stderr, "%s\n", setUp.problem.text.c_str());
        return false;
    }
    job = std::move(setUp.job);  // none when the network is refused: the ordinary run tells why
    return true;
}

// Gathers every rank's share on rank 0, in rank order.
std::vector<tarvel::SeriesShare> gatherShares(const tarvel::SeriesShare& mine, int ranks, int rank)
{
    const long long header[3] = {mine.firstStep, static_cast<long long>(mine.steps.size()),
                                 static_cast<long long>(mine.violations.size())};
    std::vector<long long> headers(rank == 0 ? 3 * static_cast<std::size_t>(ranks) : 0);
    MPI_Gather(header, 3, MPI_LONG_LONG, headers.data(), 3, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    std::vector<int> stepBytes(static_cast<std::size_t>(ranks)), stepOffsets(static_cast<std::size_t>(ranks));
    std::vector<int> textBytes(static_cast<std::size_t>(ranks)), textOffsets(static_cast<std::size_t>(ranks));
    long long stepTotal = 0, textTotal = 0;
    for (int r = 0; rank == 0 && r < ranks; ++r) {
        const std::size_t at = static_cast<std::size_t>(r);
        const long long steps = headers[3 * at + 1] * static_cast<long long>(sizeof(tarvel::StepResult));
        if (stepTotal + steps > INT_MAX || textTotal + headers[3 * at + 2] > INT_MAX)
            throw std::runtime_error("результаты процессов больше 2 ГБ, сбор невозможен");
        stepOffsets[at] = static_cast<int>(stepTotal);
        stepBytes[at] = static_cast<int>(steps);
        textOffsets[at] = static_cast<int>(textTotal);
        textBytes[at] = static_cast<int>(headers[3 * at + 2]);
        stepTotal += steps;
        textTotal += headers[3 * at + 2];
    }
    std::vector<tarvel::StepResult> steps(static_cast<std::size_t>(stepTotal) / sizeof(tarvel::StepResult));
    std::string text(static_cast<std::size_t>(textTotal), '\0');
    MPI_Gatherv(mine.steps.data(), static_cast<int>(mine.steps.size() * sizeof(tarvel::StepResult)), MPI_BYTE,
                steps.data(), stepBytes.data(), stepOffsets.data(), MPI_BYTE, 0, MPI_COMM_WORLD);
    MPI_Gatherv(mine.violations.data(), static_cast<int>(mine.violations.size()), MPI_BYTE, text.data(),
                textBytes.data(), textOffsets.data(), MPI_BYTE, 0, MPI_COMM_WORLD);
    std::vector<tarvel::SeriesShare> shares(rank == 0 ? static_cast<std::size_t>(ranks) : 0);
    for (std::size_t r = 0; r < shares.size(); ++r) {
        const auto first = steps.begin() + stepOffsets[r] / static_cast<int>(sizeof(tarvel::StepResult));
        shares[r].firstStep = static_cast<int>(headers[3 * r]);
        shares[r].steps.assign(first, first + headers[3 * r + 1]);
        shares[r].violations = text.substr(static_cast<std::size_t>(textOffsets[r]),
                                           static_cast<std::size_t>(textBytes[r]));
    }
    return shares;
}

// Reads a file into bytes, telling when it cannot.
bool readInto(const std::filesystem::path& path, std::string& bytes)
{
    int error = 0;
    if (tarvel::readFileBytes(path, bytes, &error))
        return true;
    std::fprintf(stderr, "%s\n", tarvel::unreadableFileText(path, error).c_str());
    return false;
}

// The working folder claimed, and the outputs weighed against the inputs.
std::string filesProblem(const Options& options, tarvel::app::FolderLock& lock)
{
    if (std::string problem = tarvel::app::claimWorkingFolder(options.workDir, lock); !problem.empty())
        return problem;
    std::vector<tarvel::app::NamedPath> inputs{{options.input, "исходные данные"}, {options.profile, "--profile"}};
    if (!options.contingencies.empty() && options.contingencies != "all")
        inputs.push_back({options.contingencies, "--contingencies"});
    if (!options.limitsFile.empty())
        inputs.push_back({options.limitsFile, "--limits"});
    std::vector<tarvel::app::NamedPath> outputs = tarvel::app::workingFileOutputs(options.workDir);
    for (tarvel::app::NamedPath& file :
         tarvel::app::studyOutputs(options.workDir, {true, !options.contingencies.empty(),
                                                     options.outputs.csvPrefix, options.outputs.jsonPath}))
        outputs.push_back(std::move(file));
    return tarvel::app::outputPathsProblem(inputs, outputs);
}

int runJob(int rank, int ranks, int argc, char** argv)
{
    const bool root = rank == 0;
    Options options;
    const std::string problem = parseOptions(argc, argv, options);
    if (!problem.empty()) {
        if (root)
            std::fprintf(stderr, "tarvel-study: %s\n%s", problem.c_str(), kUsage);
        return kExitUsage;
    }

    // Rank 0 reads the files; the others learn whether it could.
    // Rank 0 alone writes, in a working folder it holds until the job ends,
    // and weighs every output before any rank computes.
    InputBytes bytes;
    int status = 0;
    tarvel::app::FolderLock folderLock;
    if (root) {
        if (!readInto(options.input, bytes.input) || !readInto(options.profile, bytes.profile) ||
            (!options.contingencies.empty() && options.contingencies != "all" &&
             !readInto(options.contingencies, bytes.outages)) ||
            (!options.limitsFile.empty() && !readInto(options.limitsFile, bytes.limits))) {
            status = kExitUsage;
        } else if (const std::string problem = filesProblem(options, folderLock); !problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            status = kExitUsage;
        }
    }
    if ((status = agree(status)) != 0)
        return status;
    broadcast(bytes.input);
    broadcast(bytes.profile);
    broadcast(bytes.outages);
    broadcast(bytes.limits);

    std::shared_ptr<const tarvel::SeriesJob> job;
    try {
        status = prepareJob(bytes, options, root, job) ? 0 : kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvel-study, процесс %d: %s\n", rank, e.what());
        status = kExitUsage;
    }
    if ((status = agree(status)) != 0)
        return status;

    // The ordinary run of the network as written: its working files, by rank 0.
    int baseStatus = 0;
    if (root) {
        ImportedInput imported;
        importInput(bytes.input, options, false, imported);
        auto calculation = std::make_unique<tarvel::Calculation>();
        calculation->settings = options.settings;
        tarvel::app::CalculationRequest request;
        request.text = imported.text;
        request.importedCase = imported.fromCase;
        request.storedVoltages = imported.storedVoltages;
        request.wantResults = false;
        request.wantDiagram = false;
        StderrSink sink;
        switch (tarvel::app::runCalculation(*calculation, options.workDir, request, sink).outcome) {
        case tarvel::RunOutcome::InputNotSaved:
        case tarvel::RunOutcome::OutNotCreatable:
        case tarvel::RunOutcome::FilesNotWritten:
            baseStatus = kExitUsage;
            break;
        case tarvel::RunOutcome::Rejected:
            baseStatus = kExitRejected;
            break;
        case tarvel::RunOutcome::Converged:
            break;
        case tarvel::RunOutcome::NotConverged:
        case tarvel::RunOutcome::Diverged:
            baseStatus = kExitNotConverged;
            break;
        }
    }
    // A rejected network or an unwritable working folder ends the job; a base
    // case that did not converge does not stop the study.
    const int base = agree(baseStatus == kExitNotConverged ? 0 : baseStatus);
    if (base != 0)
        return base;
    MPI_Bcast(&baseStatus, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (!job)
        return kExitRejected;  // every process read the same bytes and refused them

    tarvel::SeriesShare mine;
    try {
        const std::unique_ptr<tbb::global_control> threads = tarvel::app::limitThreads(options.threads);
        mine = job->solveShare(rank, ranks);
        status = 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvel-study, процесс %d: %s\n", rank, e.what());
        status = kExitUsage;
    }
    if ((status = agree(status)) != 0) {
        if (root)
            std::fprintf(stderr, "tarvel-study: расчет шагов прерван, файлы исследования не записаны\n");
        return status;
    }

    const std::vector<tarvel::SeriesShare> shares = gatherShares(mine, ranks, rank);
    status = 0;
    if (root) {
        const tarvel::SeriesResults results =
            tarvel::mergeShares(shares, job->study().stepCount(), job->withOutages());
        std::filesystem::path failed;
        if (!tarvel::writeSeriesFiles(results, options.settings, options.outputs, failed)) {
            std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
            status = kExitUsage;
        } else {
            std::fprintf(stderr, "%s\n", tarvel::seriesSummary(results).c_str());
            const tarvel::app::SeriesTally tally = tarvel::app::tallySeries(results);
            // As tarvel-cli: a base case that did not converge is told first.
            if (tally.unsolved > 0 || baseStatus != 0)
                status = kExitNotConverged;
            else if (tally.insecure > 0)
                status = kExitInsecure;
        }
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    MPI_Init(&argc, &argv);
    int rank = 0, ranks = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    int status = kExitUsage;
    try {
        status = runJob(rank, ranks, argc, argv);
    } catch (const std::exception& e) {
        // A failure outside the agreed points cannot be told to the others: end the whole job.
        std::fprintf(stderr, "tarvel-study, процесс %d: %s\n", rank, e.what());
        MPI_Abort(MPI_COMM_WORLD, kExitUsage);
    }
    MPI_Finalize();
    return status;
}
