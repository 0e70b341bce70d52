// tarvel-study: the studies of tarvel-cli (--profile) split over the
// processes of an MPI job.
//
// Rank 0 reads the input and the profile and broadcasts their bytes; every
// rank builds the same network and profile from them and solves a contiguous
// share of the steps on its cores; rank 0 gathers the results in rank order
// and alone writes the files, the same bytes tarvel-cli writes on one machine.
// Every failure becomes a status that all ranks learn (MPI_Allreduce), so the
// job ends with a message and a non-zero status instead of waiting.
#include <mpi.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/CaseImport.h"
#include "model/MessageSink.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "series/SeriesJob.h"
#include "series/SeriesReports.h"

namespace {

constexpr int kExitSolved = 0;
constexpr int kExitRejected = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotConverged = 3;

constexpr const char* kUsage =
    "Использование: tarvel-study [--precision P] [--iterations N] [--workdir DIR] [--base-kv KV]\n"
    "                    --profile FILE [--study-csv PREFIX] [--study-json FILE] INPUT\n"
    "Запуск: mpirun -np N tarvel-study ... (или srun tarvel-study ... под Slurm)\n";

struct Options {
    tarvel::CalculationSettings settings;
    double baseKv = 220.0;
    std::filesystem::path workDir = ".";
    std::filesystem::path input;
    std::filesystem::path profile;
    tarvel::SeriesOutputs outputs;
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
                int32_t v = 0;
                const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
                if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || v < 0)
                    return "число итераций должно быть целым числом не меньше 0: " + value;
                options.settings.iteraz = v;
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

// The ЦДУ text of the input and, for an imported case, its buses' areas; the
// conversion's summary is printed by rank 0 only.
bool importInput(const std::string& bytes, double baseKv, bool print, std::string& text, tarvel::NodeAreas& areas)
{
    const tarvel::InputFormat format = tarvel::detectInputFormat(bytes);
    if (format == tarvel::InputFormat::Cdu) {
        text = tarvel::cp1251ToUtf8(bytes);
        if (!tarvel::hasCrLfLineEnds(text))
            text = tarvel::toCrLf(text);
        return true;
    }
    const tarvel::CaseReadResult read = tarvel::readCase(bytes, format);
    const tarvel::CduConversion conversion =
        read.ok ? tarvel::convertCase(read.data, {baseKv}) : tarvel::CduConversion{};
    if (!read.ok || !conversion.ok) {
        if (print)
            std::fprintf(stderr, "Импорт невозможен: %s\n", (read.ok ? conversion.error : read.error).c_str());
        return false;
    }
    if (print)
        std::fputs(tarvel::conversionSummary(read.data, conversion).c_str(), stderr);
    text = tarvel::toCrLf(conversion.text);
    areas = tarvel::nodeAreasOf(conversion.busAreas);
    return true;
}

// Gathers every rank's results on rank 0, in rank order.
std::vector<tarvel::StepResult> gatherSteps(const std::vector<tarvel::StepResult>& mine, int stepCount, int ranks,
                                            int rank)
{
    std::vector<int> counts(static_cast<std::size_t>(ranks)), offsets(static_cast<std::size_t>(ranks));
    for (int r = 0; r < ranks; ++r) {
        const tarvel::StepRange range = tarvel::stepShare(stepCount, r, ranks);
        counts[static_cast<std::size_t>(r)] = (range.last - range.first) * static_cast<int>(sizeof(tarvel::StepResult));
        offsets[static_cast<std::size_t>(r)] = range.first * static_cast<int>(sizeof(tarvel::StepResult));
    }
    std::vector<tarvel::StepResult> all(rank == 0 ? static_cast<std::size_t>(stepCount) : 0);
    MPI_Gatherv(mine.data(), counts[static_cast<std::size_t>(rank)], MPI_BYTE, all.data(), counts.data(),
                offsets.data(), MPI_BYTE, 0, MPI_COMM_WORLD);
    return all;
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

    // Rank 0 reads both files; the others learn whether it could.
    std::string input, profile;
    int status = 0;
    if (root) {
        std::error_code ec;
        if (!tarvel::readFileBytes(options.input, input)) {
            std::fprintf(stderr, "Невозможно прочитать файл \"%s\"\n", options.input.string().c_str());
            status = kExitUsage;
        } else if (!tarvel::readFileBytes(options.profile, profile)) {
            std::fprintf(stderr, "Невозможно прочитать файл \"%s\"\n", options.profile.string().c_str());
            status = kExitUsage;
        } else if (!std::filesystem::is_directory(options.workDir, ec)) {
            std::fprintf(stderr, "Папка рабочих файлов \"%s\" не найдена\n", options.workDir.string().c_str());
            status = kExitUsage;
        }
    }
    if ((status = agree(status)) != 0)
        return status;
    broadcast(input);
    broadcast(profile);

    std::string text;
    tarvel::NodeAreas areas;
    tarvel::SeriesJob job;
    tarvel::SeriesPrepared prepared = tarvel::SeriesPrepared::BadProfile;
    try {
        if (importInput(input, options.baseKv, root, text, areas)) {
            std::string error, note;
            prepared = job.prepare(text, areas, profile, options.settings, error, note);
            if (root && !note.empty())
                std::fprintf(stderr, "%s\n", note.c_str());
            if (root && prepared == tarvel::SeriesPrepared::BadProfile)
                std::fprintf(stderr, "%s\n", error.c_str());
        }
        status = prepared == tarvel::SeriesPrepared::BadProfile ? kExitUsage : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvel-study, процесс %d: %s\n", rank, e.what());
        status = kExitUsage;
    }
    if ((status = agree(status)) != 0)
        return status;

    // The ordinary run of the network as written: its working files, by rank 0.
    int baseStatus = 0;
    if (root) {
        tarvel::NetworkModel model;
        StderrSink sink;
        switch (tarvel::runPowerFlow(model, options.settings, options.workDir, text, sink, ',')) {
        case tarvel::RunOutcome::InputNotSaved:
        case tarvel::RunOutcome::OutNotCreatable:
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

    const int stepCount = job.study().stepCount();
    const tarvel::StepRange range = tarvel::stepShare(stepCount, rank, ranks);
    std::vector<tarvel::StepResult> mine(static_cast<std::size_t>(range.last - range.first));
    try {
        job.study().solve(range, mine);
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

    const std::vector<tarvel::StepResult> steps = gatherSteps(mine, stepCount, ranks, rank);
    status = 0;
    if (root) {
        std::filesystem::path failed;
        if (!tarvel::writeSeriesFiles(steps, options.settings, options.outputs, failed)) {
            std::fprintf(stderr, "Невозможно записать файл \"%s\"\n", failed.string().c_str());
            status = kExitUsage;
        } else {
            int unsolved = 0;
            for (const tarvel::StepResult& s : steps)
                unsolved += s.outcome != tarvel::StepOutcome::Solved;
            std::fprintf(stderr, "График нагрузки: шагов %d, не решено %d, потери энергии %s МВт·ч\n", stepCount,
                         unsolved, tarvel::formatFixed(tarvel::energyLostMwh(steps), 0, 3).c_str());
            status = unsolved == 0 ? baseStatus : kExitNotConverged;
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
