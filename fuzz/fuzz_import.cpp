// Feeds arbitrary bytes to both case readers and converts what they accept.
//
// Besides the sanitizers, the target checks what the conversion promises the
// ЦДУ reader: every node is joined to the base node, every branch end is a
// node, no number repeats or exceeds 100000, no transformer far from 1 touches
// the base node, and no branch susceptance lies outside what a branch record
// holds. A text that breaks one of these aborts with the reader's finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

#include "interchange/CdfReader.h"
#include "interchange/CaseConversion.h"
#include "interchange/MatpowerReader.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"

namespace {

class QuietSink : public tarvel::MessageSink {
public:
    void showMessage(const std::string&) override {}
    void warning(const std::string&) override {}
};

std::filesystem::path workDir()
{
    static const std::filesystem::path dir = [] {
        const char* shm = "/dev/shm";
        std::filesystem::path base = std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path();
        auto d = base / ("tarvel-fuzz-import-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

void checkReaderAccepts(const std::string& cduText)
{
    if (!tarvel::writeFileBytes(workDir() / "network.cdu", tarvel::utf8ToCp1251(tarvel::toCrLf(cduText))))
        return;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::clearRunTables(*model);
    QuietSink sink;
    if (tarvel::readNetworkData(*model, workDir(), sink).accepted)
        return;
    std::string err;
    tarvel::readTextFile(workDir() / "network.err", err);
    for (const char* promised : {"Ошибка связи", "Ошибка схемы сети", "Числовая ошибка  1", "Числовая ошибка 4",
                                 "Числовая ошибка 5"}) {
        if (err.find(promised) != std::string::npos) {
            std::fprintf(stderr, "The converted text breaks a promise of the conversion:\n%s\n%s\n", err.c_str(),
                         cduText.c_str());
            std::abort();
        }
    }
}

void convert(const tarvel::CaseReadResult& read)
{
    if (!read.ok)
        return;
    const tarvel::CduConversion conversion = tarvel::convertCase(read.data);
    if (conversion.ok)
        checkReaderAccepts(conversion.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    convert(tarvel::readMatpowerCase(text));
    convert(tarvel::readCdfCase(text));
    return 0;
}
