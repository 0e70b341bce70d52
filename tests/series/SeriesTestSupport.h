// Networks read for the studies' tests.
#pragma once

#include <string>

#include "model/MessageSink.h"
#include "model/NetworkModel.h"
#include "model/ReadNetworkData.h"
#include "model/TextFile.h"
#include "powerflow/PowerFlowRun.h"
#include "tests/support/TestSupport.h"

namespace tarvel::test {

// The UTF-8 text of a Windows-1251 file of the source tree.
inline std::string sourceText(const std::string& relative)
{
    return cp1251ToUtf8(fileBytes(sourcePath(relative)));
}

// The model the reader makes of a ЦДУ text (UTF-8); empty when refused.
inline NetworkModel readCdu(const std::string& text)
{
    TempDir dir;
    writeBytes(dir / "network.cdu", paneTextToCduBytes(text));
    NetworkModel model;
    clearRunTables(model);
    CollectingSink sink;
    if (!readNetworkData(model, dir.path(), sink).accepted)
        return NetworkModel{};
    return model;
}

}  // namespace tarvel::test
