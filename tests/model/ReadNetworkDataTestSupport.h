// Texts and a harness for the tests of the ЦДУ reader.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

namespace tarvel::test::cdu {

// One working folder, one model and the messages of the reads made in it.
struct Reader {
    TempDir dir;
    std::unique_ptr<NetworkModel> model = std::make_unique<NetworkModel>();
    CollectingSink sink;
    NetworkReading reading;  // of the last read

    // Writes network.cdu and reads it as a run does, after clearing the run tables.
    bool read(const std::string& cdu)
    {
        writeBytes(dir / "network.cdu", cdu);
        clearRunTables(*model);
        sink.messages.clear();
        sink.warnings.clear();
        reading = readNetworkData(*model, dir.path(), sink);
        return reading.accepted;
    }
    std::string err() const { return fileBytes(dir / "network.err"); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir / name); }
};

inline std::string real(float value)
{
    return formatGeneral(value, 0, 9);  // nine digits give the float back
}

inline std::string node102(int number, float unom, float p = 0, float q = 0)
{
    return "0102 0 " + std::to_string(number) + " " + real(unom) + " " + real(p) + " " + real(q) + " 0 0 0 0 0\r\n";
}

inline std::string node201(int number, float unom, float p = 0, float q = 0, float fixedVoltage = 0)
{
    return "0201 0 " + std::to_string(number) + " " + real(unom) + " " + real(p) + " " + real(q) + " 0 0 " +
           real(fixedVoltage) + " 0 0\r\n";
}

inline std::string branch(int n1, int n2, float r, float x, float b = 0, float kt = 0)
{
    return "0301 0 " + std::to_string(n1) + " " + std::to_string(n2) + " " + real(r) + " " + real(x) + " " + real(b) +
           " " + real(kt) + " 0 0 0\r\n";
}

inline std::string shunt(int n1, float g, float b)
{
    return "0301 0 " + std::to_string(n1) + " 0 " + real(g) + " " + real(b) + "\r\n";
}

// Base node 1 and node 2 at 110 kV joined by one line.
inline const std::string kThreeRecords = "0102 0 1 110 0 0 0 0 0 0 0\r\n"
                                         "0201 0 2 110 10 5 0 0 0 0 0\r\n"
                                         "0301 0 1 2 5 20 -100 0 0 0 0\r\n";

// The bytes of network.err holding these lines.
inline std::string errLines(std::initializer_list<std::string> lines)
{
    return cp1251Lines(std::vector<std::string>(lines));
}

}  // namespace tarvel::test::cdu
