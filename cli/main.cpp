// tarvel-cli: one power-flow calculation of a ЦДУ file without the window.
//
// The input file is handed to the calculation as the window hands its input
// pane, so network.cdu and every report come out the same. Every message box
// of the calculation is printed to standard error, one message per line.
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/CalculationRun.h"
#include "app/CommandLine.h"
#include "app/FolderLock.h"
#include "app/OutputPaths.h"
#include "cli/Contingency.h"
#include "cli/DiagramFile.h"
#include "cli/HeapPages.h"
#include "cli/Interchange.h"
#include "cli/ProfileRun.h"
#include "losses/LossAllocation.h"
#include "model/Calculation.h"
#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "interchange/ResultsExport.h"

namespace {

constexpr int kExitConverged = 0;
constexpr int kExitRejected = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotConverged = 3;

constexpr const char* kUsage =
    "Использование: tarvel-cli [--precision P] [--iterations N] [--method M] [--start S] [--q-limits] [--losses]\n"
    "                  [--workdir DIR] [--base-kv KV] [--convert OUT.cdu] [--csv PREFIX] [--json FILE]\n"
    "                  [--diagram FILE.svg|FILE.png]\n"
    "                  [--profile FILE] [--contingencies all|FILE [--limits FILE] [--threads N]]\n"
    "                  [--study-csv PREFIX] [--study-json FILE] INPUT\n";

constexpr const char* kHelp =
    "Расчет потокораспределения электрической сети по файлу в формате ЦДУ (Windows-1251),\n"
    "случаю MATPOWER (.m) или IEEE Common Data Format (.cdf, .txt); формат узнается по содержимому.\n"
    "\n"
    "Параметры:\n"
    "  --precision P    точность расчета, положительное число (по умолчанию 0.01)\n"
    "  --iterations N   наибольшее число итераций, целое от 0 до 1000 (по умолчанию 10);\n"
    "                   полная модель останавливается раньше, если невязка перестала\n"
    "                   уменьшаться\n"
    "  --method M       метод расчета: auto - классический до 99 узлов и 149 ветвей,\n"
    "                   полная модель дальше (по умолчанию); exact - классический;\n"
    "                   sparse - полная модель при любом размере сети; импортированный\n"
    "                   случай при auto рассчитывается по полной модели\n"
    "  --start S        начало итераций полной модели: case - напряжения, записанные\n"
    "                   в импортированном случае (по умолчанию; для текста ЦДУ - как flat),\n"
    "                   flat - номинальные и фиксированные напряжения, dc - они же\n"
    "                   с углами расчета по постоянному току\n"
    "  --q-limits       учитывать пределы Q узлов с фиксированным напряжением: узел,\n"
    "                   вышедший за предел, остается на пределе без удержания напряжения\n"
    "  --losses         после расчета выполнить разделение потерь (losses.rez)\n"
    "  --workdir DIR    папка рабочих файлов network.* (по умолчанию текущая)\n"
    "  --diagram FILE.svg|FILE.png\n"
    "                   записать схему сети в SVG или PNG (по расширению имени):\n"
    "                   с результатами расчета, а если данные отвергнуты - с\n"
    "                   отмеченными ошибками данных; PNG рисует модуль\n"
    "                   " TARVEL_PNG_MODULE_FILE ", экран для этого не нужен\n"
    "%s"
    "%s"
    "%s"
    "  -h, --help       показать эту справку\n"
    "\n"
    "Отчеты network.out, network.rez, network.tok, network.rip пишутся в DIR.\n"
    "Сообщения выводятся в стандартный поток ошибок.\n"
    "\n"
    "Код завершения: 0 - расчет сошелся; 1 - данные отвергнуты или разделение потерь\n"
    "невозможно; 2 - ошибка в параметрах, файл не читается, импорт невозможен или файл не создается;\n"
    "3 - расчет выполнен без достижения заданной точности (отчеты записаны);\n"
    "4 - при анализе отключений найдены нарушения пределов, разделение сети или\n"
    "несходящиеся режимы (contingency.rez записан).\n";

// Prints each message on one line of standard error.
class StderrSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string& text) override { printLine(text); }
    void warning(const std::string& text) override { printLine(text); }

    static void printLine(std::string text)
    {
        for (char& c : text)
            if (c == '\n' || c == '\r')
                c = ' ';
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

bool parseStart(std::string_view text, tarvel::StartChoice& start)
{
    if (text == "case")
        start = tarvel::StartChoice::Case;
    else if (text == "flat")
        start = tarvel::StartChoice::Flat;
    else if (text == "dc")
        start = tarvel::StartChoice::Dc;
    else
        return false;
    return true;
}

bool parseMethod(std::string_view text, tarvel::CalculationMethod& method)
{
    if (text == "auto")
        method = tarvel::CalculationMethod::Auto;
    else if (text == "exact")
        method = tarvel::CalculationMethod::Exact;
    else if (text == "sparse")
        method = tarvel::CalculationMethod::Sparse;
    else
        return false;
    return true;
}

int usageError(const std::string& problem)
{
    std::fprintf(stderr, "tarvel-cli: %s\n%sПодробнее: tarvel-cli --help\n", problem.c_str(), kUsage);
    return kExitUsage;
}

// Why a precision is refused, told for what it is: a positive figure beyond
// the single-precision range is too small or too large, never "not positive".
std::string precisionProblem(std::string_view text, float& value)
{
    float v = 0.0f;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    const bool whole = !text.empty() && r.ptr == text.data() + text.size();
    if (whole && r.ec == std::errc::result_out_of_range) {
        const double wide = std::strtod(std::string(text).c_str(), nullptr);
        if (wide > 0)
            return std::string(wide < 1 ? "точность слишком мала: " : "точность слишком велика: ") +
                   std::string(text);
    }
    if (!whole || r.ec != std::errc() || !std::isfinite(v) || !(v > 0.0f))
        return "точность должна быть положительным числом: " + std::string(text);
    value = v;
    return {};
}

// Prints the reader's findings to standard error, the lines of network.err.
void printFindings(const std::vector<tarvel::Finding>& findings)
{
    for (const tarvel::Finding& finding : findings)
        for (const std::string& line : tarvel::findingLines(finding))
            std::fprintf(stderr, "%s\n", line.c_str());
}

// The files named on the command line that the run reads.
std::vector<tarvel::app::NamedPath> inputsOf(const std::string& input, const cli::ProfileOptions& profile,
                                             const cli::StudyOptions& study)
{
    std::vector<tarvel::app::NamedPath> inputs{{input, "исходные данные"}};
    if (!profile.profile.empty())
        inputs.push_back({profile.profile, "--profile"});
    if (const auto outages = tarvel::app::outagesFileOfOption(study.contingencies); !outages.empty())
        inputs.push_back({outages, "--contingencies"});
    if (!study.limitsFile.empty())
        inputs.push_back({study.limitsFile, "--limits"});
    return inputs;
}

// Every file the run writes: the working files and those of the options.
std::vector<tarvel::app::NamedPath> outputsOf(const std::filesystem::path& workDir,
                                              const cli::InterchangeOptions& interchange,
                                              const std::filesystem::path& diagramFile,
                                              const cli::ProfileOptions& profile, const cli::StudyOptions& study)
{
    std::vector<tarvel::app::NamedPath> outputs = tarvel::app::workingFileOutputs(workDir);
    if (!interchange.csvPrefix.empty()) {
        outputs.push_back({tarvel::nodesCsvPath(interchange.csvPrefix), "--csv"});
        outputs.push_back({tarvel::branchesCsvPath(interchange.csvPrefix), "--csv"});
    }
    if (!interchange.jsonPath.empty())
        outputs.push_back({interchange.jsonPath, "--json"});
    if (!diagramFile.empty())
        outputs.push_back({diagramFile, "--diagram"});
    for (tarvel::app::NamedPath& file :
         tarvel::app::studyOutputs(workDir, {!profile.profile.empty(), !study.contingencies.empty(),
                                             profile.csvPrefix, profile.jsonPath}))
        outputs.push_back(std::move(file));
    return outputs;
}

// Prints a problem of the files before anything is computed or written.
bool tellFileProblem(const std::string& problem)
{
    if (problem.empty())
        return false;
    std::fprintf(stderr, "%s\n", problem.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    cli::keepHeapOnHugePages();
    float precision = 0.01f;
    int32_t iterations = 10;
    tarvel::CalculationMethod method = tarvel::CalculationMethod::Auto;
    tarvel::StartChoice start = tarvel::StartChoice::Case;
    bool losses = false;
    bool qLimits = false;
    std::filesystem::path workDir = ".";
    std::filesystem::path diagramFile;
    std::string input;
    bool haveInput = false;
    cli::InterchangeOptions interchange;
    cli::ProfileOptions profile;
    cli::StudyOptions study;

    const auto kindOf = [](std::string_view name) {
        using tarvel::app::OptionKind;
        if (name == "--losses" || name == "--q-limits")
            return OptionKind::Flag;
        const std::string option(name);
        if (name == "--precision" || name == "--iterations" || name == "--method" || name == "--start" ||
            name == tarvel::app::kWorkDirOption || name == "--diagram" || cli::isInterchangeOption(option) ||
            cli::isProfileOption(option) || cli::isStudyOption(option))
            return OptionKind::WithValue;
        return OptionKind::Unknown;
    };
    using Kind = tarvel::app::Argument::Kind;
    for (const tarvel::app::Argument& argument :
         tarvel::app::splitCommandLine(std::vector<std::string>(argv + 1, argv + argc), kindOf)) {
        const std::string& name = argument.name;
        const std::string& value = argument.value;
        switch (argument.kind) {
        case Kind::Help:
            std::fputs(kUsage, stdout);
            std::fputs("\n", stdout);
            std::printf(kHelp, cli::kInterchangeHelp, cli::kProfileHelp, cli::kStudyHelp);
            return 0;
        case Kind::Unknown:
            return usageError("неизвестный параметр " + name);
        case Kind::MissingValue:
            return usageError("не задано значение параметра " + name);
        case Kind::Extra:
            return usageError("лишний параметр " + name);
        case Kind::Input:
            input = value;
            haveInput = true;
            continue;
        case Kind::Flag:
            if (name == "--losses")
                losses = true;
            else
                qLimits = true;
            continue;
        case Kind::Option:
            break;
        }
        if (cli::isProfileOption(name)) {
            std::string problem;
            if (!cli::setProfileOption(profile, name, value, problem))
                return usageError(problem);
        } else if (cli::isStudyOption(name)) {
            std::string problem;
            if (!cli::setStudyOption(study, name, value, problem))
                return usageError(problem);
        } else if (cli::isInterchangeOption(name)) {
            std::string problem;
            if (!cli::setInterchangeOption(interchange, name, value, problem))
                return usageError(problem);
        } else if (name == "--precision") {
            if (const std::string problem = precisionProblem(value, precision); !problem.empty())
                return usageError(problem);
        } else if (name == "--iterations") {
            if (const std::string problem = tarvel::app::iterationsProblem(value, iterations); !problem.empty())
                return usageError(problem);
        } else if (name == "--method") {
            if (!parseMethod(value, method))
                return usageError("метод расчета задается словом auto, exact или sparse: " + value);
        } else if (name == "--start") {
            if (!parseStart(value, start))
                return usageError("начало итераций задается словом case, flat или dc: " + value);
        } else if (name == "--diagram") {
            if (cli::diagramFormatOf(value) == cli::DiagramFormat::None)
                return usageError("схема записывается в SVG или PNG, имя файла должно кончаться на .svg или .png: " +
                                  value);
            diagramFile = value;
        } else {
            if (value.empty())
                return usageError("не задана папка рабочих файлов");
            workDir = value;
        }
    }
    if (!haveInput)
        return usageError("не задан файл исходных данных");
    if (const std::string problem = cli::checkStudyOptions(study, !profile.profile.empty()); !problem.empty())
        return usageError(problem);

    std::string bytes;
    if (int error = 0; !tarvel::readFileBytes(input, bytes, &error)) {
        std::fprintf(stderr, "%s\n", tarvel::unreadableFileText(input, error).c_str());
        return kExitUsage;
    }
    // Every output is weighed before anything is computed: a case converted
    // writes only its one file, a calculation its working files as well, in
    // a folder it holds alone.
    tarvel::app::FolderLock folderLock;
    if (!interchange.convertTo.empty()) {
        if (tellFileProblem(tarvel::app::outputPathsProblem({{input, "исходные данные"}},
                                                            {{interchange.convertTo, "--convert"}})))
            return kExitUsage;
    } else if (tellFileProblem(tarvel::app::claimWorkingFolder(workDir, folderLock)) ||
               tellFileProblem(tarvel::app::outputPathsProblem(inputsOf(input, profile, study),
                                                               outputsOf(workDir, interchange, diagramFile, profile,
                                                                         study)))) {
        return kExitUsage;
    }

    std::string converted;
    interchange.precision = precision;
    interchange.method = method;
    const cli::ImportStep imported = cli::importInput(bytes, interchange, converted);
    if (imported == cli::ImportStep::Failed)
        return kExitUsage;
    if (imported == cli::ImportStep::Written)
        return kExitConverged;

    // The file's text as the window's input pane holds it; its lines get CR LF
    // where the calculation writes network.cdu.
    const std::string text = imported == cli::ImportStep::Converted ? converted : tarvel::cp1251ToUtf8(bytes);

    tarvel::Calculation calculation;
    tarvel::NetworkModel& model = calculation.model;
    tarvel::CalculationSettings& settings = calculation.settings;
    settings.precision = precision;
    settings.iteraz = iterations;
    settings.method = imported == cli::ImportStep::Converted ? tarvel::importedMethod(method) : method;
    settings.start = start;
    settings.qLimits = qLimits;

    // A wrong profile is told before any file is written.
    std::shared_ptr<const tarvel::SeriesJob> series;
    tarvel::SeriesPrepared seriesPrepared = tarvel::SeriesPrepared::NetworkRejected;
    if (!profile.profile.empty()) {
        seriesPrepared = cli::prepareProfile(profile, study, interchange, text, settings, series);
        if (seriesPrepared == tarvel::SeriesPrepared::BadProfile)
            return kExitUsage;
    }

    StderrSink sink;
    tarvel::app::CalculationRequest request{text, ',', {}, interchange.raisedBases, interchange.storedVoltages,
                                            imported == cli::ImportStep::Converted,
                                            !interchange.csvPrefix.empty() || !interchange.jsonPath.empty(),
                                            !diagramFile.empty()};
    const tarvel::app::CalculationResult run = tarvel::app::runCalculation(calculation, workDir, request, sink);
    const tarvel::RunOutcome outcome = run.outcome;
    switch (outcome) {
    case tarvel::RunOutcome::InputNotSaved:
    case tarvel::RunOutcome::OutNotCreatable:
    case tarvel::RunOutcome::FilesNotWritten:
        return kExitUsage;
    case tarvel::RunOutcome::Rejected:
        printFindings(model.reading.findings);
        if (!diagramFile.empty() && !cli::writeDiagram(run.diagram, model, diagramFile))
            return kExitUsage;
        return kExitRejected;
    case tarvel::RunOutcome::Converged:
    case tarvel::RunOutcome::NotConverged:
    case tarvel::RunOutcome::Diverged:
        break;
    }

    if (!diagramFile.empty() && !cli::writeDiagram(run.diagram, model, diagramFile))
        return kExitUsage;

    if (run.results && !cli::exportResults(*run.results, model, settings, outcome, interchange))
        return kExitUsage;

    if (losses) {
        switch (tarvel::allocateLosses(model, workDir, sink)) {
        case tarvel::LossOutcome::Refused:
            return kExitRejected;
        case tarvel::LossOutcome::ReportNotCreated:
            StderrSink::printLine(tarvel::kLossRezNotCreatedMessage);
            return kExitUsage;
        case tarvel::LossOutcome::Written:
            break;
        }
    }
    int status = outcome == tarvel::RunOutcome::Converged ? kExitConverged : kExitNotConverged;
    if (seriesPrepared == tarvel::SeriesPrepared::Ready) {
        const int seriesStatus = cli::runProfile(profile, study, *series, settings, workDir);
        if (seriesStatus == kExitUsage || status == kExitConverged)
            status = seriesStatus;
    }
    if (!study.contingencies.empty() && profile.profile.empty()) {
        if (outcome != tarvel::RunOutcome::Converged) {
            StderrSink::printLine("Анализ отключений не выполнен: исходный режим не рассчитан с заданной точностью");
            return status;
        }
        return cli::runStudy(model, settings, study, {profile.jsonPath, profile.csvPrefix}, interchange, workDir);
    }
    return status;
}
