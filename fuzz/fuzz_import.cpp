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

#include "interchange/CdfReader.h"
#include "interchange/CaseConversion.h"
#include "interchange/MatpowerReader.h"
#include "model/ReadNetworkData.h"
#include "fuzz/FuzzSupport.h"
#include "model/TextFile.h"

namespace {

using fuzz::QuietSink;

std::filesystem::path workDir()
{
    return fuzz::workDir("tarvel-fuzz-import");
}

void checkReaderAccepts(const std::string& cduText)
{
    if (!tarvel::writeFileBytes(workDir() / "network.cdu", tarvel::utf8ToCp1251(tarvel::toCrLf(cduText))))
        return;
    auto model = std::make_unique<tarvel::NetworkModel>();
    tarvel::clearRunTables(*model);
    QuietSink sink;
    const tarvel::NetworkReading reading = tarvel::readNetworkData(*model, workDir(), sink);
    using tarvel::FindingKind;
    for (const tarvel::Finding& finding : reading.findings) {
        switch (finding.kind) {
        case FindingKind::NodeWithoutBranches:
        case FindingKind::BranchWithoutNodes:
        case FindingKind::NotJoinedToBase:
        case FindingKind::RepeatedNumber:
        case FindingKind::TransformerAtBase:
        case FindingKind::TieConflict:
        case FindingKind::NodeNumberTooLarge:
        case FindingKind::Susceptance:
        case FindingKind::NumberWithoutDistrict:
            std::fprintf(stderr, "The converted text breaks a promise of the conversion:\n%s\n%s\n",
                         finding.text.c_str(), cduText.c_str());
            std::abort();
        default:
            break;
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
